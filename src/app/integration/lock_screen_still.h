#pragma once
// The still behind the lock screen: a frame of the main screen's effect at its full pixel
// size, written as a PNG into the data folder and made the desktop picture of every
// screen (which the lock screen shows). A stable link "lockscreen.png" names the newest
// still for screen lockers that take a picture file.
//
// The new still is written and set before older ones are removed, so a failure leaves the
// picture the desktop shows and its file in place. What the desktop showed before Tavel's
// first still is recorded once ("desktop-picture.json" in the data folder) and put back
// when the sync is switched off.
//
// Main thread; rendering, file work and setting the picture run on the icon queue, which
// the live icons share (a still and an icon never render at once, and the main thread
// never waits for the desktop's tools).

#include "app/core/app_state.h"
#include "app/core/integrations.h"
#include "effects/offscreen/image.h"
#include "platform/desktop_picture.h"
#include "platform/scheduler.h"
#include "platform/screens.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace tavel {

struct LockScreenStillDependencies {
    Scheduler& main;
    Executor& iconQueue;  // serial; the render function's only thread
    ScreenSource& screens;
    DesktopPicture& picture;  // used on the icon queue only
    // A width x height frame at effect time 40 (times speed); runs on the icon queue.
    std::function<std::optional<Image>(const ShaderEffect&, const ShaderParams&, int, int)> render;
    std::string desktop;           // the setter's kind (setterName), kept with the record
    std::filesystem::path folder;  // where stills go ("Tavel" in the data home)
    std::function<std::int64_t()> secondsNow;  // whole seconds since 1970
    LogSink& log;
};

class LockScreenStillSync final : public LockScreenStill {
public:
    static constexpr const char* kPrefix = "lockscreen-";
    static constexpr const char* kLinkName = "lockscreen.png";
    static constexpr const char* kRecordName = "desktop-picture.json";

    explicit LockScreenStillSync(LockScreenStillDependencies dependencies);
    ~LockScreenStillSync() override;
    LockScreenStillSync(const LockScreenStillSync&) = delete;
    LockScreenStillSync& operator=(const LockScreenStillSync&) = delete;

    // The state whose settings and effects it reads; set before the first sync.
    void attach(AppState& state) { state_ = &state; }

    // Nothing while the live lock-screen video is on or there is no screen. Failures of
    // the file work are one log line ("Tavel: lock screen sync failed: ...") and leave the
    // desktop pictures as they were.
    void syncSystemWallpaperNow() override;
    // Puts back the picture recorded before Tavel's first still, on the icon queue after
    // any sync still pending; a failure is one log line and keeps the record.
    void restoreDesktopPicture() override;

private:
    // Icon-queue state shared by the jobs.
    struct Shared {
        std::filesystem::path applied;  // the still last set successfully
        std::string lastFailure;        // logged once, not after every edit
    };
    static void sync(const LockScreenStillDependencies& deps, Shared& shared,
                     const ShaderEffect& effect, const ShaderParams& params, int width, int height);
    // Icon queue: renders, encodes and writes; the new still's path, or nothing.
    static std::optional<std::filesystem::path> makeStill(const LockScreenStillDependencies& deps,
                                                          Shared& shared,
                                                          const ShaderEffect& effect,
                                                          const ShaderParams& params, int width,
                                                          int height);
    // Records what the desktop shows before the first still replaces it.
    static Result<void> recordOnce(const LockScreenStillDependencies& deps);
    static void fail(const LockScreenStillDependencies& deps, Shared& shared,
                     const std::string& error);

    LockScreenStillDependencies deps_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    AppState* state_ = nullptr;
};

}  // namespace tavel
