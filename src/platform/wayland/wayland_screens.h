#pragma once
// The attached screens as the compositor's outputs.

#include "platform/scheduler.h"
#include "platform/screens.h"
#include "platform/wayland/wayland_outputs.h"
#include "platform/weak_self.h"

#include <functional>
#include <vector>

namespace tavel {

class WaylandConnection;

// Screen records for `outputs` in the order given (the first is the primary). Numbers
// come from the names as on X11. With a logical geometry (xdg-output) the frame is that,
// and the scale the current mode's pixels per logical unit, to 1/120 (a fractional
// scale); without one the frame is the position and the mode divided by wl_output's
// scale. Outputs without a current mode get scale 1 and their logical size.
std::vector<ScreenRecord> screenRecordsFor(const std::vector<OutputState>& outputs);

class WaylandScreens final : public ScreenSource {
public:
    // Main thread. Takes the outputs' change handler; `connection` and `scheduler` (the
    // main loop) must outlive this.
    WaylandScreens(WaylandConnection& connection, Scheduler& scheduler);
    ~WaylandScreens() override;
    WaylandScreens(const WaylandScreens&) = delete;
    WaylandScreens& operator=(const WaylandScreens&) = delete;

    std::vector<ScreenRecord> screens() const override;
    // The handler runs on the main thread once per real change of the list (an output
    // added, removed, moved, resized or scaled): the events of one change are looked at
    // once, on a task posted to the loop, and the handler runs only when the list
    // differs from the one seen before.
    void setChangeHandler(std::function<void()> handler) override;

private:
    void lookAgainSoon();
    void lookAgain();

    WaylandConnection& connection_;
    Scheduler& scheduler_;
    std::function<void()> changeHandler_;
    std::vector<ScreenRecord> seen_;
    bool lookPosted_ = false;
    WeakSelf<WaylandScreens> self_{*this};
};

}  // namespace tavel
