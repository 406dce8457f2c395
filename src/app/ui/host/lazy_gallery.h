#pragma once
// The gallery window only while it is wanted: made when it is first shown, and released
// (its window, interface, fonts, textures and pictures, and on Wayland the X11 GL it was
// drawn with) once it has stayed hidden for a minute, so a Tavel started at login holds
// nothing of it. It also carries the activation policy, which waits here while no
// window exists. Main thread only.

#include "app/ui/host/gallery_window.h"
#include "platform/scheduler.h"
#include "platform/system_state.h"
#include "platform/weak_self.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tavel {

class LazyGallery final : public ActivationControl {
public:
    static constexpr Duration kReleaseAfter = std::chrono::seconds(60);
    // Makes the window; a failure when it cannot be made now.
    using Factory = std::function<Result<std::unique_ptr<GalleryWindow>>()>;

    // `possible`: whether a window can be made at all in this session (an X display);
    // `release` runs after the window is gone, for what the factory opened for it.
    LazyGallery(Scheduler& scheduler, LogSink& log, bool possible, Factory factory,
                std::function<void()> release = {}, Duration releaseAfter = kReleaseAfter);
    ~LazyGallery() override;
    LazyGallery(const LazyGallery&) = delete;
    LazyGallery& operator=(const LazyGallery&) = delete;

    // Shows the window, made first when needed; a window that cannot be made is one log
    // line (once per reason) and nothing else.
    void show();
    // Shows it with the Live Lock Screen guide over it.
    void showGuide();
    // The status line's words: "hidden", "minimised", "shown, N frames", or "unavailable".
    std::string state() const;
    // For tests: the window while it exists.
    GalleryWindow* window() const { return window_.get(); }

    // ActivationControl: activation raises a window that is shown, never opens one.
    void setActivationPolicy(ActivationPolicy policy) override;
    void activate() override;

private:
    bool make();
    void hidden();

    Scheduler& scheduler_;
    LogSink& log_;
    Factory factory_;
    std::function<void()> release_;
    bool possible_;
    Duration releaseAfter_;
    std::unique_ptr<GalleryWindow> window_;
    ActivationPolicy policy_ = ActivationPolicy::regular;
    std::string lastWhy_;  // why it could not be made, as last said
    TimerHandle releaseTimer_;
    WeakSelf<LazyGallery> self_{*this};
};

}  // namespace tavel
