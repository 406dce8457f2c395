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
// _XROOTPMAP_ID both name it). The names are changed last, once the root shows the new
// pixmap, and put back as they were when that fails.
//
// What was published before can be kept as a PNG file (snapshot) and put back whole over
// the root (restore), or taken down when nothing was published.

#include "platform/desktop_picture.h"

#include <string>

namespace tavel {

class X11RootPicture final : public DesktopPicture {
public:
    // The record's one name: a kept picture's path, or "none".
    static constexpr const char* kRootKey = "root";

    // `displayName` names the X display; empty means $DISPLAY. `keptPicture` is where a
    // snapshot keeps the published picture (none: no snapshots).
    explicit X11RootPicture(std::string displayName = {}, std::filesystem::path keptPicture = {})
        : displayName_(std::move(displayName)), keptPicture_(std::move(keptPicture)) {}

    // Reads the PNG, then sets the picture through one short-lived connection.
    Result<void> setPicture(const std::filesystem::path& file) override;
    std::optional<PictureRecord> snapshot() override;
    // Publishes the kept picture again (and removes its file), or takes Tavel's down.
    Result<void> restore(const PictureRecord& record) override;

private:
    std::string displayName_;
    std::filesystem::path keptPicture_;
};

}  // namespace tavel
