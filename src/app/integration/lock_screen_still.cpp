#include "app/integration/lock_screen_still.h"

#include "app/core/display_key.h"
#include "effects/offscreen/png_encode.h"
#include "platform/atomic_file.h"

#include <cmath>
#include <system_error>

namespace tavel {

namespace {

void logFailure(LogSink& log, const std::string& error) {
    log.write("Tavel: lock screen sync failed: " + error);
}

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
    deps_.iconQueue.submit(
        [deps = deps_, effect = std::move(*effect), params = state_->params(id), width, height] {
            auto still = makeStill(deps, effect, params, width, height);
            if (!still) return;
            if (std::string failure = deps.picture.setPicture(*still); !failure.empty())
                logFailure(deps.log, failure);
        });
}

std::optional<std::filesystem::path> LockScreenStillSync::makeStill(
    const LockScreenStillDependencies& deps, const ShaderEffect& effect, const ShaderParams& params,
    int width, int height) {
    std::optional<Image> image = deps.render(effect, params, width, height);
    if (!image) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> png = encodePng(*image);
    if (!png) return std::nullopt;

    std::error_code error;
    std::filesystem::create_directories(deps.folder, error);
    if (error) {
        logFailure(deps.log, "cannot create " + deps.folder.string() + ": " + error.message());
        return std::nullopt;
    }
    // At most one still: the ones before go (links included, never what they point at).
    for (const auto& entry : std::filesystem::directory_iterator(deps.folder, error))
        if (entry.path().filename().string().rfind(kPrefix, 0) == 0)
            std::filesystem::remove(entry.path(), error);
    std::filesystem::path still =
        deps.folder / (kPrefix + std::to_string(deps.secondsNow()) + ".png");
    if (std::string failure = writeFileAtomically(still, *png, 0644); !failure.empty()) {
        logFailure(deps.log, failure);
        return std::nullopt;
    }
    relink(deps.folder / kLinkName, still);
    return still;
}

}  // namespace tavel
