#include "platform/x11/x11_coverage_rule.h"

#include <algorithm>
#include <cstdint>

namespace tavel {

namespace {

// In 64 bits: frames read from the server may lie far outside the screen.
bool contains(const PixelRect& outer, const PixelRect& inner) {
    return outer.x <= inner.x && outer.y <= inner.y &&
           std::int64_t{outer.x} + outer.width >= std::int64_t{inner.x} + inner.width &&
           std::int64_t{outer.y} + outer.height >= std::int64_t{inner.y} + inner.height;
}

// Half-open on the right and bottom, so a centre on the line between two monitors
// belongs to one of them only. Doubled coordinates keep half pixels exact.
bool centreIn(const PixelRect& frame, const PixelRect& rect) {
    std::int64_t cx = 2 * std::int64_t{frame.x} + frame.width;
    std::int64_t cy = 2 * std::int64_t{frame.y} + frame.height;
    return cx >= 2 * std::int64_t{rect.x} && cx < 2 * (std::int64_t{rect.x} + rect.width) &&
           cy >= 2 * std::int64_t{rect.y} && cy < 2 * (std::int64_t{rect.y} + rect.height);
}

}  // namespace

bool rectCovered(const PixelRect& rect, Window own, const std::vector<StackedWindow>& stack,
                 const std::vector<Window>& ignored) {
    auto above = std::find_if(stack.begin(), stack.end(),
                              [own](const StackedWindow& w) { return w.id == own; });
    above = above == stack.end() ? stack.begin() : above + 1;
    return std::any_of(above, stack.end(), [&](const StackedWindow& w) {
        if (!w.viewable || w.hidden || w.seeThrough) return false;
        if (std::find(ignored.begin(), ignored.end(), w.id) != ignored.end()) return false;
        if (contains(w.frame, rect)) return true;
        return (w.fullscreen || w.maximized) && centreIn(w.frame, rect);
    });
}

}  // namespace tavel
