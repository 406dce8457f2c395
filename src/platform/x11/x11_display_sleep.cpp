#include "platform/x11/x11_display_sleep.h"

#include "platform/x11/x11_connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace tavel {

bool displaysAsleep(bool dpmsEnabled, int powerLevel) {
    return dpmsEnabled && powerLevel != DPMSModeOn;
}

SleepChange SleepTracker::update(bool asleep) {
    std::optional<bool> before = asleep_;
    asleep_ = asleep;
    if (!before || *before == asleep) return SleepChange::none;
    return asleep ? SleepChange::slept : SleepChange::woke;
}

DpmsSleepSource::DpmsSleepSource(X11Connection& connection, Scheduler& scheduler, Duration interval)
    : connection_(connection), scheduler_(scheduler), interval_(interval) {
    int eventBase = 0, errorBase = 0;
    available_ = DPMSQueryExtension(connection_.display(), &eventBase, &errorBase) &&
                 DPMSCapable(connection_.display());
}

void DpmsSleepSource::setHandlers(std::function<void()> didSleep, std::function<void()> didWake) {
    didSleep_ = std::move(didSleep);
    didWake_ = std::move(didWake);
    bool wanted = available_ && (didSleep_ || didWake_);
    if (!wanted) {
        timer_.cancel();
        return;
    }
    if (timer_.active()) return;
    tracker_.reset();
    poll();  // the baseline
    timer_ = scheduler_.scheduleRepeating(interval_, [this] { poll(); });
}

void DpmsSleepSource::poll() {
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    if (!DPMSInfo(connection_.display(), &level, &enabled)) return;
    SleepChange change = tracker_.update(displaysAsleep(enabled, level));
    // Copies: a handler may replace the handlers.
    if (change == SleepChange::slept) {
        if (auto handler = didSleep_) handler();
    } else if (change == SleepChange::woke) {
        if (auto handler = didWake_) handler();
    }
}

}  // namespace tavel
