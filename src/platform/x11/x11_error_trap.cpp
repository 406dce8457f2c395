#include "platform/x11/x11_error_trap.h"

#include "platform/x11/x11_connection.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tavel {

namespace {

struct Route {
    X11ErrorRoute* owner;
    std::function<bool(const XErrorEvent&)> claim;
};

struct Routes {
    std::mutex mutex;
    std::vector<Route> list;  // newest last
};

Routes& routes() {
    static Routes instance;
    return instance;
}

}  // namespace

X11ErrorRoute::X11ErrorRoute(Display* display, std::function<bool(const XErrorEvent&)> claim)
    : display_(display) {
    prepareXlibForThreads();
    auto& r = routes();
    std::lock_guard lock(r.mutex);
    r.list.push_back({this, std::move(claim)});
}

X11ErrorRoute::~X11ErrorRoute() {
    XSync(display_, False);
    auto& r = routes();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.list, [this](const Route& route) { return route.owner == this; });
}

bool routeX11Error(Display* display, const XErrorEvent& error) {
    auto& r = routes();
    std::lock_guard lock(r.mutex);
    // The newest first; what one passes on, an older one may still take.
    for (auto it = r.list.rbegin(); it != r.list.rend(); ++it)
        if (it->owner->display() == display && it->claim(error)) return true;
    return false;
}

X11ErrorTrap::X11ErrorTrap(Display* display)
    : route_(display, [](const XErrorEvent& error) {
          return error.error_code == BadWindow || error.error_code == BadDrawable;
      }) {}

X11ErrorCatch::X11ErrorCatch(Display* display)
    : route_(display, [this](const XErrorEvent& error) {
          int none = 0;
          first_.compare_exchange_strong(none, error.error_code);
          return true;
      }) {}

int X11ErrorCatch::take() {
    XSync(route_.display(), False);
    return first_.exchange(0);
}

}  // namespace tavel
