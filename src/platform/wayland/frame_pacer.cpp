#include "platform/wayland/frame_pacer.h"

#include <wayland-client.h>

#include <utility>

namespace tavel {

FramePacer::FramePacer(Scheduler& scheduler, std::function<void(bool)> onStall)
    : scheduler_(scheduler), onStall_(std::move(onStall)) {}

FramePacer::~FramePacer() {
    self_.reset();
    if (callback_) wl_callback_destroy(callback_);
}

void FramePacer::frameWillCommit(wl_surface* surface) {
    // One callback at a time: a second frame committed before the first one's callback
    // (a configure's frame) is shown by the same callback.
    if (callback_) return;
    static const wl_callback_listener listener = {&FramePacer::done};
    callback_ = wl_surface_frame(surface);
    wl_callback_add_listener(callback_, &listener, this);
    stallTimer_ = scheduler_.scheduleOnce(kStallAfter, self_.guard([](FramePacer& pacer) {
        if (!pacer.callback_ || pacer.stalled_) return;
        pacer.stalled_ = true;
        pacer.onStall_(true);
    }));
}

void FramePacer::done(void* data, wl_callback* callback, std::uint32_t) {
    auto& pacer = *static_cast<FramePacer*>(data);
    wl_callback_destroy(callback);
    pacer.callback_ = nullptr;
    pacer.stallTimer_.cancel();
    if (pacer.stalled_) {
        pacer.stalled_ = false;
        pacer.onStall_(false);
    }
    if (auto ready = pacer.onReady_) ready();
}

void FramePacer::reset() {
    if (callback_) wl_callback_destroy(callback_);
    callback_ = nullptr;
    stallTimer_.cancel();
    stalled_ = false;
}

void PacedFrameTimer::start(double framesPerSecond, std::function<void()> tick) {
    timer_.cancel();
    double fps = framesPerSecond > 0.0 ? framesPerSecond : 1.0;  // also catches NaN
    auto interval = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / fps));
    if (interval <= Duration::zero()) interval = Duration(1);
    tick_ = std::move(tick);
    owed_ = false;
    timer_ = scheduler_.scheduleRepeating(interval, [this] {
        if (pacer_.waiting())
            owed_ = true;
        else
            tick_();
    });
    // Drawn from the loop, not inside the callback's dispatch.
    pacer_.setReadyHandler([this] {
        if (!std::exchange(owed_, false)) return;
        scheduler_.post(self_.guard([](PacedFrameTimer& timer) {
            if (timer.timer_.active() && !timer.pacer_.waiting()) timer.tick_();
        }));
    });
}

void PacedFrameTimer::stop() {
    timer_.cancel();
    owed_ = false;
    pacer_.setReadyHandler({});
}

}  // namespace tavel
