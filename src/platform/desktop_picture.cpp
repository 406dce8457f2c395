#include "platform/desktop_picture.h"

#include "platform/desktop_picture_tools.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace tavel {

namespace {

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

std::optional<PictureSetter> setterNamed(const std::string& name, bool swaySocket) {
    // Desktops built on GNOME's settings daemon read its background keys.
    for (const char* gnome :
         {"gnome", "gnome-classic", "gnome-flashback", "unity", "budgie", "pantheon"})
        if (name == gnome) return PictureSetter::Gnome;
    if (name == "kde") return PictureSetter::Plasma;
    if (name == "x-cinnamon" || name == "cinnamon") return PictureSetter::Cinnamon;
    if (name == "mate") return PictureSetter::Mate;
    if (name == "xfce") return PictureSetter::Xfce;
    if (name == "sway" && swaySocket) return PictureSetter::Sway;
    return std::nullopt;
}

class NoPicture final : public DesktopPicture {
public:
    Result<void> setPicture(const std::filesystem::path&) override {
        return Failure{"desktop picture: no way to set it is known for this desktop"};
    }
    std::optional<PictureRecord> snapshot() override { return std::nullopt; }
    Result<void> restore(const PictureRecord&) override { return {}; }
};

}  // namespace

Failure notAbsolute(const std::filesystem::path& file) {
    return {"desktop picture: not an absolute path: " + file.string()};
}

DesktopFacts DesktopFacts::fromEnvironment() {
    auto text = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    DesktopFacts facts;
    facts.currentDesktop = text("XDG_CURRENT_DESKTOP");
    facts.sessionType = text("XDG_SESSION_TYPE");
    facts.swaySocket = !text("SWAYSOCK").empty();
    facts.x11Display = !text("DISPLAY").empty();
    facts.waylandDisplay = !text("WAYLAND_DISPLAY").empty();
    return facts;
}

const char* setterName(PictureSetter setter) {
    switch (setter) {
        case PictureSetter::Gnome:
            return "gnome";
        case PictureSetter::Plasma:
            return "plasma";
        case PictureSetter::Cinnamon:
            return "cinnamon";
        case PictureSetter::Mate:
            return "mate";
        case PictureSetter::Xfce:
            return "xfce";
        case PictureSetter::Sway:
            return "sway";
        case PictureSetter::X11Root:
            return "x11-root";
        case PictureSetter::Unsupported:
            break;
    }
    return "unsupported";
}

PictureSetter chooseSetter(const DesktopFacts& facts) {
    std::string names = lowered(facts.currentDesktop);
    for (std::size_t start = 0; start <= names.size();) {
        std::size_t end = std::min(names.find(':', start), names.size());
        if (auto setter = setterNamed(names.substr(start, end - start), facts.swaySocket))
            return *setter;
        start = end + 1;
    }
    if (facts.swaySocket) return PictureSetter::Sway;
    std::string type = lowered(facts.sessionType);
    if (type == "x11") return PictureSetter::X11Root;
    // A Wayland session's X server (Xwayland) has no visible root window.
    if (type != "wayland" && facts.x11Display && !facts.waylandDisplay)
        return PictureSetter::X11Root;
    return PictureSetter::Unsupported;
}

std::unique_ptr<DesktopPicture> makeDesktopPicture(
    PictureSetter setter, ProcessRunner& runner,
    const std::function<std::unique_ptr<DesktopPicture>()>& makeRootPicture) {
    switch (setter) {
        case PictureSetter::X11Root:
            return makeRootPicture();
        case PictureSetter::Unsupported:
            return std::make_unique<NoPicture>();
        default:
            return makeToolPicture(setter, runner);
    }
}

}  // namespace tavel
