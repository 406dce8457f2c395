#pragma once
// Frame pacing by the compositor's frame callbacks. A surface asks for the callback of
// each frame it commits; the view's timer ticks at most at the view's rate and only once
// the last frame's callback arrived, so no frame is drawn that the compositor would not
// show. A callback that does not come within kStallAfter means the surface is not shown
// (covered, or its output is off): the pacer reports it stalled, and the window stops its
// view until the callback arrives after all. Main thread only.

#include "effects/shader_view.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <chrono>
#include <functional>

struct wl_callback;
struct wl_surface;

namespace tavel {

class FramePacer {
public:
    static constexpr Duration kStallAfter = std::chrono::seconds(1);

    // `onStall` runs with true when a frame's callback is late, with false when it then
    // arrives.
    FramePacer(Scheduler& scheduler, std::function<void(bool)> onStall);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Asks for the callback of the frame `surface` commits next; call right before the
    // commit (the EGL swap).
    void frameWillCommit(wl_surface* surface);
    // A frame's callback is still to come.
    bool waiting() const { return callback_ != nullptr; }
    bool stalled() const { return stalled_; }
    // Forgets the frame in flight without reporting anything (the surface is going: its
    // callback may never come).
    void reset();
    // Runs each time a frame's callback arrives (the timer's late tick). Empty for none.
    void setReadyHandler(std::function<void()> handler) { onReady_ = std::move(handler); }

private:
    static void done(void* data, wl_callback* callback, std::uint32_t time);

    Scheduler& scheduler_;
    std::function<void(bool)> onStall_;
    std::function<void()> onReady_;
    wl_callback* callback_ = nullptr;
    TimerHandle stallTimer_;
    bool stalled_ = false;
    WeakSelf<FramePacer> self_{*this};
};

// A view's frame timer on the main loop that holds a tick back while the pacer waits
// and gives it as soon as the callback arrives: never faster than the rate, and a
// callback that comes just after a tick does not cost a whole interval.
class PacedFrameTimer final : public FrameTimer {
public:
    // `pacer` outlives the timer.
    PacedFrameTimer(Scheduler& scheduler, FramePacer& pacer)
        : scheduler_(scheduler), pacer_(pacer) {}
    ~PacedFrameTimer() override { stop(); }
    // Replaces a running timer. A rate that is not a positive number draws once a second.
    void start(double framesPerSecond, std::function<void()> tick) override;
    void stop() override;

private:
    Scheduler& scheduler_;
    FramePacer& pacer_;
    TimerHandle timer_;
    std::function<void()> tick_;
    bool owed_ = false;  // a tick came due while the pacer waited
    WeakSelf<PacedFrameTimer> self_{*this};
};

}  // namespace tavel
