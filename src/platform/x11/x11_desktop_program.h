#pragma once
// The desktop program: the client that draws the desktop's icons in a desktop-type window
// of its own (xfdesktop, caja, nemo-desktop, pcmanfm-qt, GNOME's desktop-icons extension,
// plasmashell). Tavel's windows never hide it or take its clicks.
//
// Tavel's desktop windows are override-redirect, so that they can stand next to the
// desktop program's window whatever the window manager does with desktop-type windows
// (xfwm4 ignores every stacking request for them). The keeper follows the root's
// children (SubstructureNotify on the root, through the connection's shared mask) and,
// once per burst of changes, puts each watched window back in its place: directly below
// the desktop program's window over its monitor (or directly above it, for a window that
// draws the program's picture itself), or below every other window where there is none.
// Several windows of Tavel may share that place. So the place holds across restarts of
// the program and of the window manager. Main thread only.

#include "platform/scheduler.h"
#include "platform/weak_self.h"
#include "platform/x11/pixel_rect.h"

#include <X11/Xlib.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

class X11Connection;

struct DesktopProgramWindow {
    Window client = None;     // the program's own window
    Window topLevel = None;   // the root's child holding it: the manager's frame, or itself
    PixelRect rect;           // root pixels
    std::string name;         // its WM_CLASS class, e.g. "Xfdesktop"
    bool seeThrough = false;  // drawn with an alpha channel: what lies below shows
    bool operator==(const DesktopProgramWindow&) const = default;
};

// The viewable desktop-type windows of other clients (none of `own`, none of this
// process), bottom first. A few round trips per top-level window; call under an
// X11ErrorCatch claiming X11ErrorCatch::windowGone, as their owners may destroy them any time.
std::vector<DesktopProgramWindow> findDesktopPrograms(X11Connection& connection,
                                                      const std::vector<Window>& own);

// Whether Tavel's desktop windows can be override-redirect here. Compositing window
// managers that draw their own scene (GNOME Shell's mutter, Cinnamon's muffin, KWin)
// paint override-redirect windows over everything, panels included: there the desktop
// windows stay managed desktop-type windows, which those managers do restack on request.
// Asks the running manager's name (a few round trips).
bool overrideRedirectFits(X11Connection& connection);

// Of `programs`, the one covering most of `monitor`; nothing when none overlaps it.
std::optional<DesktopProgramWindow> programOver(const std::vector<DesktopProgramWindow>& programs,
                                                const PixelRect& monitor);

enum class ProgramSide { below, above };

class X11DesktopStackKeeper {
public:
    // Told the desktop program over the monitor (nothing: none), answers on which side of
    // it the window belongs.
    using Handler = std::function<ProgramSide(const std::optional<DesktopProgramWindow>&)>;

    // `connection` and `scheduler` (the loop that runs it) must outlive the keeper.
    X11DesktopStackKeeper(X11Connection& connection, Scheduler& scheduler);
    ~X11DesktopStackKeeper();
    X11DesktopStackKeeper(const X11DesktopStackKeeper&) = delete;
    X11DesktopStackKeeper& operator=(const X11DesktopStackKeeper&) = delete;

    // Keeps Tavel's top-level window `own` in its place over `monitor`: restacked itself
    // when it is override-redirect, else through stacking requests to the window manager
    // (`managed`). `handler` runs from a task of the loop after the watch is made and
    // after every burst of changes to the root's children; it may watch and unwatch, but
    // not destroy the keeper. A window that is not mapped is left where it is. Returns an
    // id for unwatch().
    int watch(Window own, PixelRect monitor, bool managed, Handler handler);
    void unwatch(int id);
    // Looks again now (a window was just mapped).
    void refresh() { scheduleUpdate(); }

private:
    struct Watch {
        Window own;
        PixelRect monitor;
        bool managed;
        Handler handler;
    };
    void onEvent(const XEvent& event);
    void scheduleUpdate();
    void update();

    X11Connection& connection_;
    Scheduler& scheduler_;
    std::map<int, Watch> watches_;
    std::map<Window, Window> above_;  // each top-level window's sibling below it, last seen
    int nextId_ = 1;
    int handlerId_ = 0;
    bool updatePosted_ = false;
    WeakSelf<X11DesktopStackKeeper> self_{*this};
};

}  // namespace tavel
