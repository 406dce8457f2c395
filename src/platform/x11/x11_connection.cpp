#include "platform/x11/x11_connection.h"

#include "platform/x11/x11_error_catch.h"

#include <unistd.h>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>

#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

namespace tavel {

namespace {

// Events dispatched per turn of the loop before the rest wait for a posted task.
constexpr int kDispatchBatch = 64;

using AfterFunction = int (*)(Display*);

// The displays of the connections that exist. Xlib's hooks that a connection needs
// carry no user data (the I/O error handler is even process-wide), so they find their
// connection here.
struct Registry {
    struct Entry {
        Display* display;
        X11Connection* connection;  // null while the connection closes
        AfterFunction previousAfter;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    XIOErrorHandler previousIoErrorHandler = nullptr;

    std::vector<Entry>::iterator find(Display* display) {
        return std::find_if(entries.begin(), entries.end(),
                            [display](const Entry& entry) { return entry.display == display; });
    }
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// Steps aside for our displays, so that their exit handler (which knows the
// connection's log) reports the loss. Another display of the process (a GL toolkit's
// own) that meets the loss first takes the same path through the first connection:
// Xlib's default would exit() with worker threads running and nothing flushed.
int onIoError(Display* display) {
    auto& r = registry();
    XIOErrorHandler previous;
    X11Connection* first = nullptr;
    {
        std::lock_guard lock(r.mutex);
        if (r.find(display) != r.entries.end()) return 0;  // on to the exit handler
        for (const auto& entry : r.entries)
            if (entry.connection && !first) first = entry.connection;
        previous = r.previousIoErrorHandler;
    }
    if (first) X11Connection::onDisplayLost(display, first);
    return previous ? previous(display) : 0;
}

// Xlib runs this after every request it sends, on the thread that sent it. Any Xlib
// call (a flush included) may read events from the socket into Xlib's queue, where the
// main loop's wait on the socket no longer sees them; a dispatch posted now runs once
// the code making these calls has returned to the loop.
int afterRequest(Display* display) {
    auto& r = registry();
    AfterFunction previous = nullptr;
    {
        std::lock_guard lock(r.mutex);
        auto found = r.find(display);
        if (found == r.entries.end()) return 0;
        if (found->connection) found->connection->dispatchSoon();
        previous = found->previousAfter;
    }
    return previous ? previous(display) : 0;
}

// A protocol error (a window that vanished, a request the server refused) is logged:
// Xlib's default would end the whole application over one failed request.
int onProtocolError(Display* display, XErrorEvent* error) {
    if (routeX11Error(display, *error)) return 0;
    char text[256] = {0};
    XGetErrorText(display, error->error_code, text, sizeof text - 1);
    std::string line = "X error: " + std::string(text) + " (request " +
                       std::to_string(error->request_code) + "." +
                       std::to_string(error->minor_code) + ")";
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.find(display);
    if (found != r.entries.end() && found->connection)
        found->connection->reportError(line);
    else
        systemLog().write("Tavel: " + line);
    return 0;
}

}  // namespace

void prepareXlibForThreads() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Before any other Xlib call: GL drivers talk to the display from their own threads.
        XInitThreads();
        registry().previousIoErrorHandler = XSetIOErrorHandler(onIoError);
        XSetErrorHandler(onProtocolError);
    });
}

namespace {

// Frees a GenericEvent's cookie data however delivery ends.
struct CookieData {
    Display* display;
    XGenericEventCookie* cookie;
    ~CookieData() {
        if (cookie) XFreeEventData(display, cookie);
    }
};

}  // namespace

struct X11Connection::Watch {
    explicit Watch(asio::io_context& loop, int fd) : descriptor(loop, fd) {}
    ~Watch() {
        // The descriptor is Xlib's: stop waiting on it, but never close it here.
        asio::error_code ignored;
        descriptor.cancel(ignored);
        descriptor.release();
    }
    asio::posix::stream_descriptor descriptor;
};

std::unique_ptr<X11Connection> X11Connection::open(asio::io_context& loop, const char* name,
                                                   LogSink& log) {
    prepareXlibForThreads();
    Display* display = XOpenDisplay(name);
    if (!display) return nullptr;
    return std::unique_ptr<X11Connection>(new X11Connection(display, loop, log));
}

X11Connection::X11Connection(Display* display, asio::io_context& loop, LogSink& log)
    : display_(display),
      loop_(loop),
      log_(log),
      watch_(std::make_unique<Watch>(loop, ConnectionNumber(display))) {
    auto& r = registry();
    {
        std::lock_guard lock(r.mutex);
        r.entries.push_back({display_, this, nullptr});
    }
    AfterFunction previous = XSetAfterFunction(display_, afterRequest);
    {
        std::lock_guard lock(r.mutex);
        r.find(display_)->previousAfter = previous;
    }
    XSetIOErrorExitHandler(display_, &X11Connection::onDisplayLost, this);
    watch();
    // XOpenDisplay may already have queued events.
    dispatchSoon();
}

X11Connection::~X11Connection() {
    auto& r = registry();
    {
        std::lock_guard lock(r.mutex);
        r.find(display_)->connection = nullptr;
    }
    self_.reset();
    watch_.reset();
    windowHandlers_.clear();
    extensionHandlers_.clear();
    // Still ours until closed: losing the server now is reported like any other time.
    XCloseDisplay(display_);
    std::lock_guard lock(r.mutex);
    r.entries.erase(r.find(display_));
}

void X11Connection::reportError(const std::string& text) {
    // Bounded: past this many distinct lines the rest are dropped.
    constexpr std::size_t kDistinctLines = 64;
    std::string line = prefix_ + text;
    {
        std::lock_guard lock(errorsMutex_);
        if (loggedErrors_.size() >= kDistinctLines || !loggedErrors_.insert(line).second) return;
    }
    log_.write(line);
}

std::string X11Connection::missingDesktopExtensions() const {
    int event = 0, error = 0;
    bool fixes = XFixesQueryExtension(display_, &event, &error);
    bool shape = XShapeQueryExtension(display_, &event, &error);
    if (fixes && shape) return {};
    if (!fixes && !shape) return "the XFixes and SHAPE extensions";
    return fixes ? "the SHAPE extension" : "the XFixes extension";
}

void X11Connection::onDisplayLost(Display*, void* opaque) {
    auto* connection = static_cast<X11Connection*>(opaque);
    if (auto handler = connection->lostHandler_) handler();
    connection->log_.write(connection->prefix_ + "lost the X display");
    std::fflush(nullptr);
    // Not exit(): static destructors would run while other threads (executors, GL
    // driver threads) still use what they destroy.
    _exit(1);
}

Atom X11Connection::atom(const char* name) {
    auto found = atoms_.find(name);
    if (found != atoms_.end()) return found->second;
    Atom atom = XInternAtom(display_, name, False);
    atoms_.emplace(name, atom);
    return atom;
}

void X11Connection::setWindowHandler(Window window, EventHandler handler) {
    if (handler)
        windowHandlers_[window] = std::move(handler);
    else
        windowHandlers_.erase(window);
}

int X11Connection::addExtensionHandler(EventHandler handler) {
    int id = nextHandler_++;
    extensionHandlers_.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeExtensionHandler(int id) {
    extensionHandlers_.erase(id);
}

void X11Connection::selectRootInput(long mask) {
    for (std::size_t bit = 0; bit < rootMaskCounts_.size(); ++bit)
        if (mask & (1L << bit)) ++rootMaskCounts_[bit];
    long combined = 0;
    for (std::size_t bit = 0; bit < rootMaskCounts_.size(); ++bit)
        if (rootMaskCounts_[bit] > 0) combined |= 1L << bit;
    XSelectInput(display_, root(), combined);
    XFlush(display_);
}

void X11Connection::deselectRootInput(long mask) {
    for (std::size_t bit = 0; bit < rootMaskCounts_.size(); ++bit)
        if ((mask & (1L << bit)) && rootMaskCounts_[bit] > 0) --rootMaskCounts_[bit];
    selectRootInput(0);
}

void X11Connection::watch() {
    watch_->descriptor.async_wait(
        asio::posix::stream_descriptor::wait_read,
        self_.guard([](X11Connection& connection, const asio::error_code& error) {
            if (error) return;
            connection.watch();
            connection.dispatchPending();
        }));
}

void X11Connection::dispatchSoon() {
    if (dispatchPosted_.exchange(true)) return;
    asio::post(loop_, self_.guard([](X11Connection& connection) {
        connection.dispatchPosted_ = false;
        connection.dispatchPending();
    }));
}

void X11Connection::dispatchPending() {
    // XPending flushes, then reads what the socket holds without blocking; events that a
    // handler's own round trips read are picked up by the next turn of this loop.
    for (int handled = 0; handled < kDispatchBatch && XPending(display_) > 0; ++handled) {
        XEvent event;
        XNextEvent(display_, &event);
        deliver(event);
    }
    XFlush(display_);
    // Also looks at what the socket already delivered, without blocking.
    if (XEventsQueued(display_, QueuedAfterReading) > 0) dispatchSoon();
}

void X11Connection::deliver(XEvent& event) {
    CookieData data{display_, nullptr};
    bool extension = event.type == GenericEvent || event.type >= LASTEvent;
    if (event.type == GenericEvent && XGetEventData(display_, &event.xcookie))
        data.cookie = &event.xcookie;

    if (!extension) {
        Window window = event.xany.window;
        auto found = windowHandlers_.find(window);
        if (found != windowHandlers_.end()) {
            // A copy: the handler may replace or remove itself while it runs.
            EventHandler handler = found->second;
            handler(event);
            if (window != root()) return;
        }
    }

    std::vector<int> ids;
    ids.reserve(extensionHandlers_.size());
    for (const auto& entry : extensionHandlers_) ids.push_back(entry.first);
    for (int id : ids) {
        auto found = extensionHandlers_.find(id);
        if (found == extensionHandlers_.end()) continue;  // removed by an earlier handler
        EventHandler handler = found->second;
        handler(event);
    }
}

}  // namespace tavel
