#include "platform/wayland/wayland_screens.h"

#include "platform/wayland/wayland_connection.h"

#include <cmath>
#include <utility>

namespace tavel {

namespace {

// Fractional scales come in 120ths (as the fractional-scale protocol has them).
constexpr double kScaleSteps = 120.0;

// wl_output.transform values that turn the output a quarter: 90, 270 and their flips.
bool quarterTurned(std::int32_t transform) {
    return transform % 2 == 1;
}

ScreenRecord recordFor(const OutputState& output) {
    ScreenRecord record;
    record.number = displayNumberForMonitorName(output.name);
    record.name = output.name;
    int width = output.modeWidth, height = output.modeHeight;
    if (quarterTurned(output.transform)) std::swap(width, height);
    if (output.logical && output.logical->width > 0 && output.logical->height > 0) {
        const auto& l = *output.logical;
        record.frame = {double(l.x), double(l.y), double(l.width), double(l.height)};
        double scale = width > 0 ? double(width) / l.width : 1.0;
        record.scale = std::max(1.0 / kScaleSteps, std::round(scale * kScaleSteps) / kScaleSteps);
    } else {
        double scale = output.scale > 0 ? output.scale : 1;
        record.frame = {double(output.x), double(output.y), width / scale, height / scale};
        record.scale = scale;
    }
    return record;
}

}  // namespace

std::vector<ScreenRecord> screenRecordsFor(const std::vector<OutputState>& outputs) {
    std::vector<ScreenRecord> records;
    for (const OutputState& output : outputs) records.push_back(recordFor(output));
    return records;
}

WaylandScreens::WaylandScreens(WaylandConnection& connection, Scheduler& scheduler)
    : connection_(connection), scheduler_(scheduler) {
    connection_.outputs().setChangeHandler([this] { lookAgainSoon(); });
    seen_ = screens();
}

WaylandScreens::~WaylandScreens() {
    self_.reset();
    connection_.outputs().setChangeHandler({});
}

std::vector<ScreenRecord> WaylandScreens::screens() const {
    return screenRecordsFor(connection_.outputs().states());
}

void WaylandScreens::setChangeHandler(std::function<void()> handler) {
    changeHandler_ = std::move(handler);
}

void WaylandScreens::lookAgainSoon() {
    if (std::exchange(lookPosted_, true)) return;
    scheduler_.post(self_.guard([](WaylandScreens& screens) { screens.lookAgain(); }));
}

void WaylandScreens::lookAgain() {
    lookPosted_ = false;
    std::vector<ScreenRecord> now = screens();
    if (now == seen_) return;
    seen_ = std::move(now);
    if (auto handler = changeHandler_) handler();  // a copy: it may replace itself
}

}  // namespace tavel
