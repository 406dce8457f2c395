#include "app/integration/live_lock_video.h"

#include "app/integration/lock_video_slot.h"
#include "platform/atomic_file.h"

#include <exception>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tavel {

namespace {

constexpr const char* kMovieName = "lockvideo.mov";
constexpr const char* kSignatureName = "lockvideo.sig";

// Thrown through the encoder by a job's progress report once the application ends; not a
// std::exception, so no failure handler takes it for one.
struct Stopped {};

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    std::uint32_t bits = 0;
    int count = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        count += 8;
        while (count >= 6) text += kAlphabet[(bits >> (count -= 6)) & 63];
    }
    if (count > 0) text += kAlphabet[(bits << (6 - count)) & 63];
    while (text.size() % 4) text += '=';
    return text;
}

bool isRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() ==
           std::filesystem::file_type::regular;
}

std::string readText(const std::filesystem::path& path) {
    if (!isRegularFile(path)) return {};
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string lockVideoSignature(const std::string& effectId, const ShaderParams& params) {
    std::string json;
    try {
        json = encodeShaderParams(params).dump();
    } catch (const EncodeError&) {
        // No text for the parameters: the signature still names the effect.
    }
    return effectId + "|" + base64(json);
}

struct LiveLockVideo::Job {
    LiveLockVideoDependencies deps;
    ShaderEffect effect;
    ShaderParams params;
    std::string signature;
    std::function<void(double)> progress;
    std::shared_ptr<std::atomic<bool>> wanted;
};

LiveLockVideo::LiveLockVideo(LiveLockVideoDependencies dependencies)
    : deps_(std::move(dependencies)) {}

LiveLockVideo::~LiveLockVideo() {
    stopping_->store(true);
    self_.reset();
}

void LiveLockVideo::updateLockVideoIfNeeded(bool force) {
    if (!state_) return;
    // Also for a request dropped below: a job still running installs its movie after all.
    wanted_->store(state_->settings().liveLockVideo);
    if (!state_->settings().liveLockVideo || busy_) return;
    const auto& displays = state_->displays();
    const std::string id =
        state_->shaderID(displays.empty() ? std::string() : displays.front().key);
    const ShaderParams params = state_->params(id);
    const std::string signature = lockVideoSignature(id, params);
    if (!force && readText(deps_.supportDir / kSignatureName) == signature &&
        std::filesystem::exists(deps_.slot))
        return;
    std::optional<ShaderEffect> effect = shaderEffect(id);
    if (!effect) return;

    busy_ = true;
    setProgress(0.0);
    auto progress =
        self_.guard([](LiveLockVideo& video, double value) { video.setProgress(value); });
    auto done = self_.guard([](LiveLockVideo& video) {
        video.busy_ = false;
        video.setProgress(std::nullopt);
    });
    Job job{deps_,
            std::move(*effect),
            params,
            signature,
            [&main = deps_.main, progress, stopping = stopping_](double value) {
                if (stopping->load()) throw Stopped{};
                main.post([progress, value]() mutable { progress(value); });
            },
            wanted_};
    deps_.queue.submit([job = std::move(job), done = std::move(done)]() mutable {
        run(job);
        job.deps.main.post(std::move(done));
    });
}

void LiveLockVideo::run(const Job& job) {
    const auto& deps = job.deps;
    auto fail = [&](const std::string& what) {
        deps.log.write("Tavel: lock video failed: " + what);
    };
    std::error_code error;
    std::filesystem::create_directories(deps.supportDir, error);
    if (error) return fail("cannot create " + deps.supportDir.string() + ": " + error.message());

    const auto movie = deps.supportDir / kMovieName;
    try {
        deps.encode(job.effect, job.params, movie, job.progress);
    } catch (const Stopped&) {
        return;  // the application is ending: nothing to report
    } catch (const std::exception& failure) {
        return fail(failure.what());
    }
    if (!std::filesystem::is_directory(deps.slot.parent_path(), error)) {
        deps.log.write("Tavel: aerial store missing \u2014 open Wallpaper settings once");
        return;
    }
    // Switched off while encoding: the restore queued behind this job gives the slot back,
    // so the movie is not put there first.
    if (!job.wanted->load()) return;
    // What the slot holds is kept right before it is replaced (the person may have put a
    // file there while the movie was encoded); without a safe copy it is not replaced.
    const LockVideoSlot slot(deps.slot, deps.supportDir);
    if (Result<void> kept = slot.keepOriginal(); !kept) return fail(kept.why());
    if (Result<void> installed = slot.install(movie); !installed) return fail(installed.why());
    const std::string& text = job.signature;
    // Without it the next start encodes the movie again.
    static_cast<void>(
        writeFileAtomically(deps.supportDir / kSignatureName, textBytes(text), 0644, false));
    if (deps.restartAgent) deps.restartAgent();
}

void LiveLockVideo::restoreOriginalAerial() {
    wanted_->store(false);
    // On the queue, behind any job: a movie still encoding cannot land after the restore,
    // and copying hundreds of megabytes never holds up the main thread.
    deps_.queue.submit([deps = deps_, wanted = wanted_] {
        if (wanted->load()) return;  // switched on again meanwhile: the slot stays Tavel's
        const LockVideoSlot slot(deps.slot, deps.supportDir);
        if (slot.backups().empty() && !slot.holdsOurs()) return;  // nothing of ours there
        if (Result<void> restored = slot.restore(); !restored)
            deps.log.write("Tavel: lock video failed: " + restored.why());
        std::error_code ignored;
        std::filesystem::remove(deps.supportDir / kSignatureName, ignored);
        if (deps.restartAgent) deps.restartAgent();
    });
}

void LiveLockVideo::runLockVideoGuide() {
    if (deps_.preferences.boolValue(kGuideShownKey).value_or(false)) return;
    // Marked before it is shown: "Later" also counts as seen (unstored, it shows again).
    static_cast<void>(deps_.preferences.setBool(kGuideShownKey, true));
    if (deps_.askGuide && deps_.askGuide() && deps_.openWallpaperSettings)
        deps_.openWallpaperSettings();
}

void LiveLockVideo::setProgress(std::optional<double> progress) {
    progress_ = progress;
    if (auto changed = onProgressChange) changed();
}

}  // namespace tavel
