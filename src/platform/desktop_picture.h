#pragma once
// The desktop picture of every screen (which lock screens show too), set the way the
// running desktop expects: its own settings tool, or the X root window's background.

#include "platform/result.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tavel {

class ProcessRunner;

// What a desktop shows, under the setter's own names (a settings key, a property path)
// with values in the form its tool takes back.
using PictureRecord = std::map<std::string, std::string>;

class DesktopPicture {
public:
    virtual ~DesktopPicture() = default;
    // Makes `file` (an absolute path to a PNG) the desktop picture of every screen, and
    // the lock screen's where the desktop keeps one of its own; on desktops that show
    // Tavel live through their compositor, only the lock screen's. A tool that is missing
    // is skipped quietly. Any one thread at a time: it may wait for the desktop's tools
    // (seconds at worst), so the application calls it off the main thread.
    virtual Result<void> setPicture(const std::filesystem::path& file) = 0;
    // What the desktop shows now, for restore(); nothing when it cannot be read (its
    // tool is missing or fails) or there is nothing this setter would change. Same
    // threads as setPicture.
    virtual std::optional<PictureRecord> snapshot() = 0;
    // Puts back what snapshot() read.
    virtual Result<void> restore(const PictureRecord& record) = 0;
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

// A short name for the kind ("gnome", "plasma", "x11-root", ...), for records.
const char* setterName(PictureSetter setter);

// The failure of a setter given a relative path.
Failure notAbsolute(const std::filesystem::path& file);

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
