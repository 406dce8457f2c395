#include "app/integration/lock_screen_still.h"

#include "app/core/display_key.h"
#include "effects/offscreen/png_encode.h"
#include "platform/atomic_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

namespace tavel {

namespace {

// Points the stable link at `target` (a name in the same folder), replacing an older
// link in one step.
void relink(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::filesystem::path fresh = link;
    fresh += ".new";
    std::error_code error;
    std::filesystem::remove(fresh, error);
    std::filesystem::create_symlink(target.filename(), fresh, error);
    if (!error) std::filesystem::rename(fresh, link, error);
}

// The stills in the folder, links included (never what they point at), oldest first.
std::vector<std::filesystem::path> stillsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> stills;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        if (it->path().filename().string().starts_with(LockScreenStillSync::kPrefix))
            stills.push_back(it->path());
    std::sort(stills.begin(), stills.end());
    return stills;
}

}  // namespace

LockScreenStillSync::LockScreenStillSync(LockScreenStillDependencies dependencies)
    : deps_(std::move(dependencies)) {}

LockScreenStillSync::~LockScreenStillSync() = default;

void LockScreenStillSync::syncSystemWallpaperNow() {
    if (!state_ || state_->settings().liveLockVideo) return;
    const std::vector<ScreenRecord> screens = deps_.screens.screens();
    if (screens.empty()) return;
    const ScreenRecord& main = screens.front();
    const std::string id = state_->shaderID(displayKey(main));
    std::optional<ShaderEffect> effect = shaderEffect(id);
    if (!effect) return;
    const int width = static_cast<int>(main.scale * main.frame.width);
    const int height = static_cast<int>(main.scale * main.frame.height);
    // The job copies what it needs: it may run after this object is gone.
    deps_.iconQueue.submit([deps = deps_, shared = shared_, effect = std::move(*effect),
                            params = state_->params(id), width,
                            height] { sync(deps, *shared, effect, params, width, height); });
}

void LockScreenStillSync::fail(const LockScreenStillDependencies& deps, Shared& shared,
                               const std::string& error) {
    if (error == shared.lastFailure) return;
    shared.lastFailure = error;
    deps.log.write("Tavel: lock screen sync failed: " + error);
}

void LockScreenStillSync::sync(const LockScreenStillDependencies& deps, Shared& shared,
                               const ShaderEffect& effect, const ShaderParams& params, int width,
                               int height) {
    std::optional<std::filesystem::path> still =
        makeStill(deps, shared, effect, params, width, height);
    if (!still) return;
    // Without the record the person's picture could never be put back: it stays.
    if (Result<void> recorded = recordOnce(deps); !recorded)
        return fail(deps, shared, recorded.why());
    if (Result<void> set = deps.picture.setPicture(*still); set) {
        shared.applied = *still;
        shared.lastFailure.clear();
    } else {
        fail(deps, shared, set.why());
    }
    // Older stills go only now. After a failure the desktop still shows the one set last
    // (or, before any success in this run, most likely the newest older one): it stays.
    const std::vector<std::filesystem::path> stills = stillsIn(deps.folder);
    std::filesystem::path shown = shared.applied;
    if (shown.empty())
        for (const auto& path : stills)
            if (path != *still) shown = path;
    for (const auto& path : stills) {
        std::error_code ignored;
        if (path != *still && path != shown) std::filesystem::remove(path, ignored);
    }
}

std::optional<std::filesystem::path> LockScreenStillSync::makeStill(
    const LockScreenStillDependencies& deps, Shared& shared, const ShaderEffect& effect,
    const ShaderParams& params, int width, int height) {
    std::optional<Image> image = deps.render(effect, params, width, height);
    if (!image) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> png = encodePng(*image);
    if (!png) return std::nullopt;

    std::error_code error;
    std::filesystem::create_directories(deps.folder, error);
    if (error) {
        fail(deps, shared, "cannot create " + deps.folder.string() + ": " + error.message());
        return std::nullopt;
    }
    std::filesystem::path still =
        deps.folder / (kPrefix + std::to_string(deps.secondsNow()) + ".png");
    if (Result<void> written = writeFileAtomically(still, *png, 0644, false); !written) {
        fail(deps, shared, written.why());
        return std::nullopt;
    }
    relink(deps.folder / kLinkName, still);
    return still;
}

Result<void> LockScreenStillSync::recordOnce(const LockScreenStillDependencies& deps) {
    const auto path = deps.folder / kRecordName;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) return {};
    std::optional<PictureRecord> record = deps.picture.snapshot();
    if (!record) return {};
    // A desktop already showing one of Tavel's stills (set before records were kept) has
    // nothing of the person's left to record.
    const std::string ours = (deps.folder / kPrefix).string();
    for (const auto& [name, value] : *record)
        if (value.find(ours) != std::string::npos) return {};
    const std::string text = nlohmann::json{{"desktop", deps.desktop}, {"values", *record}}.dump(
        2, ' ', false, nlohmann::json::error_handler_t::replace);
    return writeFileAtomically(path, textBytes(text), 0600, false);
}

void LockScreenStillSync::restoreDesktopPicture() {
    deps_.iconQueue.submit([deps = deps_, shared = shared_] {
        const auto path = deps.folder / kRecordName;
        std::error_code error;
        if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) return;
        std::ifstream in(path, std::ios::binary);
        nlohmann::json record = nlohmann::json::parse(in, nullptr, false);
        PictureRecord values;
        std::string desktop;
        try {
            desktop = record.at("desktop").get<std::string>();
            values = record.at("values").get<PictureRecord>();
        } catch (const nlohmann::json::exception&) {
            // Not a record this program wrote: nothing can be put back from it.
            fail(deps, *shared, path.string() + " cannot be read; the desktop picture stays");
            return;
        }
        if (desktop != deps.desktop) {
            fail(deps, *shared,
                 "the desktop picture was recorded on another desktop (" + desktop + ")");
            return;
        }
        if (Result<void> restored = deps.picture.restore(values); !restored) {
            fail(deps, *shared, restored.why());
            return;
        }
        shared->applied.clear();
        std::filesystem::remove(path, error);
    });
}

}  // namespace tavel
