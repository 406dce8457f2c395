#include "platform/x11/x11_error_catch.h"

#include "platform/x11/x11_connection.h"

#include <mutex>
#include <vector>

namespace tavel {

namespace {

struct Catchers {
    std::mutex mutex;
    std::vector<X11ErrorCatch*> list;  // newest last
};

Catchers& catchers() {
    static Catchers instance;
    return instance;
}

}  // namespace

X11ErrorCatch::X11ErrorCatch(Display* display, Claim claim)
    : display_(display), claim_(std::move(claim)) {
    prepareXlibForThreads();
    auto& c = catchers();
    std::lock_guard lock(c.mutex);
    c.list.push_back(this);
}

X11ErrorCatch::~X11ErrorCatch() {
    XSync(display_, False);
    auto& c = catchers();
    std::lock_guard lock(c.mutex);
    std::erase(c.list, this);
}

int X11ErrorCatch::take() {
    XSync(display_, False);
    return first_.exchange(0);
}

bool X11ErrorCatch::windowGone(const XErrorEvent& error) {
    return error.error_code == BadWindow || error.error_code == BadDrawable;
}

bool routeX11Error(Display* display, const XErrorEvent& error) {
    auto& c = catchers();
    std::lock_guard lock(c.mutex);
    // The newest first; what one passes on, an older one may still claim.
    for (auto it = c.list.rbegin(); it != c.list.rend(); ++it) {
        X11ErrorCatch& catcher = **it;
        if (catcher.display_ != display || (catcher.claim_ && !catcher.claim_(error))) continue;
        int none = 0;
        catcher.first_.compare_exchange_strong(none, error.error_code);
        return true;
    }
    return false;
}

}  // namespace tavel
