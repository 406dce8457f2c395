#pragma once
// The window halvane draws into: a window of another client (the host's), the root
// window, or a top-level window of its own for previewing, with the GLX surface on it.
// It follows the window's size and says once when the window is gone.
//
// Main thread only, except that usable() may turn false from any thread that meets an
// X error about the window (a GL driver's thread included).

#include "platform/scheduler.h"
#include "platform/weak_self.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/glx_surface.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_error_catch.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tavel {

class HalvaneWindow {
public:
    // What halvane must know of an existing window before it makes a GL context for it.
    struct Facts {
        Window window = None;
        int screen = 0;
        VisualID visual = 0;
        int depth = 0;
        int width = 0, height = 0;
        bool inputOnly = false;  // such a window cannot be drawn into
    };
    // The window's facts; nothing when the display has no such window.
    static std::optional<Facts> describe(X11Connection& connection, Window window);

    // Draws into the existing window `facts` names (the root window or another client's),
    // whose visual `context` was chosen for. Any X error that names that window or its
    // drawable means that the window is gone: it is claimed (not logged), usable() turns
    // false at once and the end is reported on the main loop.
    HalvaneWindow(X11Connection& connection, GlxContext& context, Scheduler& scheduler,
                  const Facts& facts);
    // Makes and maps a top-level window of its own, `width` x `height`, with the
    // context's visual; closing it (the window manager's close button) ends halvane.
    HalvaneWindow(X11Connection& connection, GlxContext& context, Scheduler& scheduler, int width,
                  int height);
    // Destroys the surface, then waits for the server to answer (its errors about a
    // vanished window are still claimed), then lets go of the window (and destroys it
    // when it is halvane's own).
    ~HalvaneWindow();
    HalvaneWindow(const HalvaneWindow&) = delete;
    HalvaneWindow& operator=(const HalvaneWindow&) = delete;

    Window xid() const { return window_; }
    GlxSurface& surface() { return *surface_; }
    // False when GLX refused a drawable for the window.
    bool drawable() const { return surface_->drawable() != None; }
    int width() const { return width_; }
    int height() const { return height_; }
    // False once the window is known to be gone: draw nothing more into it.
    bool usable() const { return !gone_.load(); }

    // `resized` runs after the window's size changed (the surface knows the new size
    // already). `ended` runs once, when the window is gone (with a line for the log) or
    // the user closed halvane's own window (with the empty text). Set them before the
    // main loop runs: the window's events and errors are acted on there.
    void setHandlers(std::function<void(int, int)> resized,
                     std::function<void(const std::string&)> ended);

private:
    enum class Kind { foreign, root, own };
    void watch();
    void handle(const XEvent& event);
    void end(const std::string& line);
    std::string goneLine() const;

    X11Connection& connection_;
    Display* display_;
    Scheduler& scheduler_;
    Kind kind_;
    Window window_ = None;
    Colormap colormap_ = None;  // for halvane's own window
    int width_ = 0, height_ = 0;
    std::unique_ptr<GlxSurface> surface_;
    std::function<void(int, int)> resized_;
    std::function<void(const std::string&)> ended_;
    bool endReported_ = false;
    // Set from whichever thread meets the window's end first.
    std::atomic<bool> gone_{false};
    std::atomic<unsigned long> drawableId_{None};
    WeakSelf<HalvaneWindow> self_{*this};
    std::function<void()> reportGone_;         // a guarded task, posted when an error says "gone"
    std::optional<X11ErrorCatch> hostErrors_;  // a foreign window's: they say it is gone
};

}  // namespace tavel
