#pragma once
// The attached screens as RandR 1.5 monitors (the active ones), with the backing scale
// taken from the Xft.dpi resource.

#include "platform/scheduler.h"
#include "platform/screens.h"
#include "platform/weak_self.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavel {

class X11Connection;

// One RandR monitor, in pixels, as the server lists it.
struct MonitorGeometry {
    std::string name;  // the monitor's atom name ("DP-1"); empty when it has none
    bool primary = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// Screen records for `monitors` in the server's order: the first primary monitor first,
// the rest in their order; frames in points (pixels / scale). `scale` must be positive.
std::vector<ScreenRecord> screenRecordsFor(const std::vector<MonitorGeometry>& monitors,
                                           double scale);

// The backing scale for an X resource database text (RESOURCE_MANAGER): Xft.dpi / 96
// when it holds a positive, finite number; otherwise 1.0.
double scaleFromResources(std::string_view resources);

class RandrScreens final : public ScreenSource {
public:
    // Main thread. Selects screen, CRTC and output change notifications and the root
    // window's structure and property changes on `connection`; `scheduler` is the main
    // loop. Both must outlive this.
    RandrScreens(X11Connection& connection, Scheduler& scheduler);
    ~RandrScreens() override;
    RandrScreens(const RandrScreens&) = delete;
    RandrScreens& operator=(const RandrScreens&) = delete;

    // Main thread; one round trip for the monitors and one for the resources. Without
    // RandR 1.5 on the server: one unnamed screen covering the root window.
    std::vector<ScreenRecord> screens() const override;
    // The handler runs on the main thread once per real change of the screen list (a
    // monitor added, removed, moved or resized, or the scale changed). One change sends
    // a burst of notifications (RandR screen, CRTC and output changes, ConfigureNotify of
    // the root, since monitors set by a client may send only that, and RESOURCE_MANAGER
    // changes for Xft.dpi): they are coalesced into one look at the list per loop turn,
    // and the handler runs only when the list differs from the one seen before.
    void setChangeHandler(std::function<void()> handler) override;

    // The current scale (Xft.dpi / 96, read fresh from the root window).
    double scale() const;

private:
    void lookAgainSoon();
    void lookAgain();

    X11Connection& connection_;
    Scheduler& scheduler_;
    bool randrAvailable_ = false;
    bool monitorsAvailable_ = false;  // RandR 1.5
    int eventBase_ = 0;
    int handlerId_ = 0;
    std::function<void()> changeHandler_;
    std::vector<ScreenRecord> seen_;  // the list as of the last report
    bool lookPosted_ = false;
    WeakSelf<RandrScreens> self_{*this};
};

}  // namespace tavel
