#include "platform/desktop_picture_tools.h"

#include <cassert>
#include <cctype>
#include <sstream>
#include <vector>

namespace tavel {

namespace {

using Command = std::vector<std::string>;

// "file://" and the path with every byte but unreserved ones and '/' percent-encoded, so
// spaces, quotes and non-ASCII names pass any parser unchanged.
std::string fileUri(const std::filesystem::path& file) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : file.string()) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri += char(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

// A GVariant text string literal: gsettings would read some unquoted values as other
// types or fail on them.
std::string gvariantString(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

// Runs the commands of one setting, collecting what failed. A missing tool is no
// failure: that desktop part is absent, and the setter moves on quietly.
class Steps {
public:
    explicit Steps(ProcessRunner& runner) : runner_(runner) {}

    // The result of `command`, with a failure noted as `what`: the tool's own words.
    ProcessResult run(const Command& command, const std::string& what) {
        ProcessResult result = runner_.run(command);
        if (!result.succeeded() && result.outcome != ProcessResult::Outcome::NotInstalled)
            fail(what + ": " + describeFailure(command[0], result));
        return result;
    }
    void fail(const std::string& line) { failures_.push_back(line); }

    std::string report() const {
        std::string line;
        for (const auto& f : failures_) line += (line.empty() ? "" : "; ") + f;
        return line;
    }

private:
    ProcessRunner& runner_;
    std::vector<std::string> failures_;
};

bool missing(const ProcessResult& result) {
    return result.outcome == ProcessResult::Outcome::NotInstalled;
}

Command gsettingsSet(const char* schema, const char* key, const std::string& value) {
    return {"gsettings", "set", schema, key, gvariantString(value)};
}

void setGnome(Steps& steps, const std::filesystem::path& file) {
    const char* schema = "org.gnome.desktop.background";
    // GNOME before 42 has no dark variant: its key is set only where the schema has it.
    ProcessResult keys = steps.run({"gsettings", "list-keys", schema}, "GNOME background");
    if (!keys.succeeded()) return;
    std::string uri = fileUri(file);
    steps.run(gsettingsSet(schema, "picture-uri", uri), "GNOME background");
    std::istringstream lines(keys.output);
    for (std::string key; std::getline(lines, key);)
        if (key == "picture-uri-dark") {
            steps.run(gsettingsSet(schema, "picture-uri-dark", uri), "GNOME dark background");
            break;
        }
}

void setPlasma(Steps& steps, const std::filesystem::path& file) {
    steps.run({"plasma-apply-wallpaperimage", file.string()}, "Plasma desktop");
    // The lock screen keeps its own image. Plasma 6 and 5 name the writer differently.
    for (const char* writer : {"kwriteconfig6", "kwriteconfig5"}) {
        ProcessResult result = steps.run(
            {writer, "--file", "kscreenlockerrc", "--group", "Greeter", "--group", "Wallpaper",
             "--group", "org.kde.image", "--group", "General", "--key", "Image", fileUri(file)},
            "Plasma lock screen");
        if (!missing(result)) return;
    }
}

void setXfce(Steps& steps, const std::filesystem::path& file) {
    // One property per monitor and workspace, named after the monitor's connector.
    ProcessResult listing =
        steps.run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, "XFCE desktop");
    if (!listing.succeeded()) return;
    const std::string suffix = "/last-image";
    int found = 0;
    std::istringstream lines(listing.output);
    for (std::string property; std::getline(lines, property);) {
        while (!property.empty() && std::isspace((unsigned char)property.back()))
            property.pop_back();
        if (property.size() <= suffix.size() ||
            property.compare(property.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        ++found;
        steps.run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", file.string()},
                  "XFCE desktop");
    }
    if (found == 0) steps.fail("XFCE desktop: xfconf-query lists no monitor's last-image");
}

void setSway(Steps& steps, const std::filesystem::path& file) {
    // swaymsg joins its arguments into one sway command, which splits at spaces outside
    // quotes: the path goes in double quotes, so a path holding one cannot be said.
    std::string path = file.string();
    if (path.find('"') != std::string::npos) {
        steps.fail("sway background: swaymsg cannot take a path with a double quote");
        return;
    }
    steps.run({"swaymsg", "output", "*", "bg", "\"" + path + "\"", "fill"}, "sway background");
}

class ToolPicture final : public DesktopPicture {
public:
    ToolPicture(PictureSetter setter, ProcessRunner& runner) : setter_(setter), runner_(runner) {}

    std::string setPicture(const std::filesystem::path& file) override {
        if (!file.is_absolute()) return "desktop picture: not an absolute path: " + file.string();
        Steps steps(runner_);
        switch (setter_) {
            case PictureSetter::Gnome:
                setGnome(steps, file);
                break;
            case PictureSetter::Plasma:
                setPlasma(steps, file);
                break;
            case PictureSetter::Cinnamon:
                steps.run(
                    gsettingsSet("org.cinnamon.desktop.background", "picture-uri", fileUri(file)),
                    "Cinnamon background");
                break;
            case PictureSetter::Mate:
                steps.run(gsettingsSet("org.mate.background", "picture-filename", file.string()),
                          "MATE background");
                break;
            case PictureSetter::Xfce:
                setXfce(steps, file);
                break;
            case PictureSetter::Sway:
                setSway(steps, file);
                break;
            case PictureSetter::X11Root:
            case PictureSetter::Unsupported:
                break;
        }
        return steps.report();
    }

private:
    PictureSetter setter_;
    ProcessRunner& runner_;
};

}  // namespace

std::unique_ptr<DesktopPicture> makeToolPicture(PictureSetter setter, ProcessRunner& runner) {
    assert(setter != PictureSetter::X11Root && setter != PictureSetter::Unsupported);
    return std::make_unique<ToolPicture>(setter, runner);
}

}  // namespace tavel
