#pragma once
// The desktop picture of every screen (which lock screens show too), set the way the
// running desktop expects: its own settings tool, or the X root window's background.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tavel {

class ProcessRunner;

class DesktopPicture {
public:
    virtual ~DesktopPicture() = default;
    // Makes `file` (an absolute path to a PNG) the desktop picture of every screen, and
    // the lock screen's where the desktop keeps one of its own. A tool that is missing
    // is skipped quietly; returns the empty text on success, else one line saying what
    // failed. Any one thread at a time: it may wait for the desktop's tools (seconds at
    // worst), so the application calls it off the main thread.
    virtual std::string setPicture(const std::filesystem::path& file) = 0;
};

// What the environment says about the session.
struct DesktopFacts {
    std::string currentDesktop;   // $XDG_CURRENT_DESKTOP: names separated by ':'
    std::string sessionType;      // $XDG_SESSION_TYPE: "x11", "wayland", "tty", ...
    bool swaySocket = false;      // $SWAYSOCK is set
    bool x11Display = false;      // $DISPLAY is set
    bool waylandDisplay = false;  // $WAYLAND_DISPLAY is set

    static DesktopFacts fromEnvironment();
};

enum class PictureSetter {
    Gnome,   // and the desktops built on its settings: Unity, Budgie, Pantheon, ...
    Plasma,  // KDE Plasma
    Cinnamon,
    Mate,
    Xfce,
    Sway,
    X11Root,      // any other X11 session: the root window's background pixmap
    Unsupported,  // nothing known to set it (another Wayland compositor, no display)
};

// The first name of $XDG_CURRENT_DESKTOP that is known (compared without regard to
// case) decides; "sway" counts only with its socket. Then a sway socket alone means
// sway (sway sessions often leave the list unset), then an X11 session (by its type, or
// by a display without a Wayland one when the type says neither) means X11Root.
PictureSetter chooseSetter(const DesktopFacts& facts);

// The setter of that kind: tools run through `runner`, which must outlive it, and the
// root window's through `makeRootPicture`. Unsupported answers each call with a line saying
// that this desktop is not supported.
std::unique_ptr<DesktopPicture> makeDesktopPicture(
    PictureSetter setter, ProcessRunner& runner,
    const std::function<std::unique_ptr<DesktopPicture>()>& makeRootPicture);

}  // namespace tavel
