#pragma once
// The moving lock screen: with the setting on, the running effect is encoded into a
// 20-second 3840x2160 loop and put in the lock screen's video slot (a backup of what was
// there is kept once), re-encoded only when effect or parameters change, and the backup
// is put back when the setting goes off.
//
// Main thread; the jobs run one at a time on their own queue ("halvane.lockvideo") and
// report back through the main loop, and so does the restore, behind any job. File work
// never follows a link out of its folders: a slot that is a symbolic link is left alone
// (one failure line). What the slot held before is kept (lock_video_slot.h).

#include "app/core/app_state.h"
#include "app/core/integrations.h"
#include "platform/preferences_store.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavel {

// "<effect id>|<Base64 of the parameters' JSON>": what the movie in the slot shows. The
// Base64 part is empty when the parameters cannot be encoded.
std::string lockVideoSignature(const std::string& effectId, const ShaderParams& params);

struct LiveLockVideoDependencies {
    Scheduler& main;
    Executor& queue;                // serial: one job at a time
    PreferencesStore& preferences;  // the application's domain ("lockVideoGuideShown")
    // Encodes a movie of the effect to `destination` on the queue, calling `progress` with
    // 0...1 after each frame; throws std::exception on failure.
    std::function<void(const ShaderEffect&, const ShaderParams&, const std::filesystem::path&,
                       const std::function<void(double)>&)>
        encode;
    std::filesystem::path supportDir;  // "Tavel" in the data home
    std::filesystem::path slot;        // the movie the lock screen plays
    // The one-time guide: true when the user asked for the wallpaper settings.
    std::function<bool()> askGuide;
    std::function<void()> openWallpaperSettings;
    // Tells a known lock-screen agent to read the slot again; nothing otherwise.
    std::function<void()> restartAgent;
    LogSink& log;
};

class LiveLockVideo final : public LockScreenVideo {
public:
    static constexpr const char* kAerialId = "4C108785-A7BA-422E-9C79-B0129F1D5550";
    static constexpr const char* kGuideShownKey = "lockVideoGuideShown";

    explicit LiveLockVideo(LiveLockVideoDependencies dependencies);
    // A job still encoding stops at its next frame (its movie is left unfinished and its
    // slot untouched), so the application does not wait minutes to end.
    ~LiveLockVideo() override;
    LiveLockVideo(const LiveLockVideo&) = delete;
    LiveLockVideo& operator=(const LiveLockVideo&) = delete;

    // The state whose settings and effects it reads; set before the first update.
    void attach(AppState& state) { state_ = &state; }

    // Starts one job when the setting is on, no job runs, and the slot does not hold the
    // first display's effect as it is now (or `force`); dropped otherwise.
    void updateLockVideoIfNeeded(bool force) override;
    // Queued behind any job; a job still encoding then leaves the slot alone.
    void restoreOriginalAerial() override;
    // Shown once ever; its answer may open the wallpaper settings.
    void runLockVideoGuide() override;

    // Main thread. A job is pending or running; its progress (0...1, nothing between jobs).
    bool busy() const { return busy_; }
    std::optional<double> progress() const { return progress_; }
    // Runs on the main thread whenever busy() or progress() changed; empty for none.
    std::function<void()> onProgressChange;

private:
    struct Job;
    static void run(const Job& job);
    void setProgress(std::optional<double> progress);

    LiveLockVideoDependencies deps_;
    std::shared_ptr<std::atomic<bool>> stopping_ = std::make_shared<std::atomic<bool>>(false);
    // Whether the setting is on, as the main thread last saw it: a job finding it off
    // leaves the slot alone, a restore finding it on does nothing.
    std::shared_ptr<std::atomic<bool>> wanted_ = std::make_shared<std::atomic<bool>>(true);
    AppState* state_ = nullptr;
    bool busy_ = false;
    std::optional<double> progress_;
    WeakSelf<LiveLockVideo> self_{*this};
};

}  // namespace tavel
