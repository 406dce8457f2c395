#pragma once
// The desktop picture of an X11 session without a desktop of its own: the root window's
// background, published for compositors, terminals and later setters under the usual
// root-pixmap convention.
//
// Each monitor shows the whole picture scaled to cover it, centred, the overflow cropped
// (the picture is rendered at the main screen's size, so there it lands pixel for pixel;
// a monitor of another shape loses a margin instead of getting bars or a stretched
// picture). The root outside every monitor stays black.
//
// The pixmap must outlive this process's connection: it is made on a connection of its
// own that is closed in RetainPermanent mode, and the previous picture's pixmap is
// released by killing the retained client that holds it (when ESETROOT_PMAP_ID and
// _XROOTPMAP_ID both name it).

#include "platform/desktop_picture.h"

#include <string>

namespace tavel {

class X11RootPicture final : public DesktopPicture {
public:
    // `displayName` names the X display; empty means $DISPLAY.
    explicit X11RootPicture(std::string displayName = {}) : displayName_(std::move(displayName)) {}

    // Reads the PNG, then sets the picture through one short-lived connection. Main
    // thread (the X error handler is swapped for the call).
    std::string setPicture(const std::filesystem::path& file) override;

private:
    std::string displayName_;
};

}  // namespace tavel
