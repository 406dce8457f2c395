#include "platform/desktop_picture_tools.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <optional>
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

    Result<void> report() const {
        if (failures_.empty()) return {};
        std::string line;
        for (const auto& f : failures_) line += (line.empty() ? "" : "; ") + f;
        return Failure{line};
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
    // Only the lock screen's own image: Plasma's desktops show Tavel through its
    // wallpaper plugin, which a desktop picture would replace. Plasma 6 and 5 name the
    // writer differently.
    for (const char* writer : {"kwriteconfig6", "kwriteconfig5"}) {
        ProcessResult result = steps.run(
            {writer, "--file", "kscreenlockerrc", "--group", "Greeter", "--group", "Wallpaper",
             "--group", "org.kde.image", "--group", "General", "--key", "Image", fileUri(file)},
            "Plasma lock screen");
        if (!missing(result)) return;
    }
}

// The last-image properties in an `xfconf-query -l` listing: one per monitor and
// workspace, named after the monitor's connector.
std::vector<std::string> lastImageProperties(const std::string& listing) {
    const std::string suffix = "/last-image";
    std::vector<std::string> properties;
    std::istringstream lines(listing);
    for (std::string property; std::getline(lines, property);) {
        while (!property.empty() && std::isspace((unsigned char)property.back()))
            property.pop_back();
        if (property.size() > suffix.size() &&
            property.compare(property.size() - suffix.size(), suffix.size(), suffix) == 0)
            properties.push_back(property);
    }
    return properties;
}

void setXfce(Steps& steps, const std::filesystem::path& file) {
    ProcessResult listing =
        steps.run({"xfconf-query", "-c", "xfce4-desktop", "-l"}, "XFCE desktop");
    if (!listing.succeeded()) return;
    const std::vector<std::string> properties = lastImageProperties(listing.output);
    for (const std::string& property : properties)
        steps.run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", file.string()},
                  "XFCE desktop");
    if (properties.empty()) steps.fail("XFCE desktop: xfconf-query lists no monitor's last-image");
}

// The output of a tool that prints one value, without the line end.
std::string valueOf(const ProcessResult& result) {
    std::string value = result.output;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    return value;
}

// The background keys of a GSettings schema that this schema has, as GVariant text.
std::optional<PictureRecord> readGsettings(ProcessRunner& runner, const char* schema,
                                           std::initializer_list<const char*> keys) {
    ProcessResult listing = runner.run({"gsettings", "list-keys", schema});
    if (!listing.succeeded()) return std::nullopt;
    PictureRecord record;
    std::istringstream lines(listing.output);
    for (std::string key; std::getline(lines, key);) {
        if (std::find_if(keys.begin(), keys.end(), [&](const char* k) { return key == k; }) ==
            keys.end())
            continue;
        ProcessResult value = runner.run({"gsettings", "get", schema, key});
        if (!value.succeeded()) return std::nullopt;
        record[key] = valueOf(value);
    }
    if (record.empty()) return std::nullopt;
    return record;
}

const char* schemaOf(PictureSetter setter) {
    switch (setter) {
        case PictureSetter::Gnome:
            return "org.gnome.desktop.background";
        case PictureSetter::Cinnamon:
            return "org.cinnamon.desktop.background";
        default:
            return "org.mate.background";
    }
}

// The lock screen's own image in Plasma's configuration, under the name both versions of
// its tools share; "" where it was never set (Plasma's default).
const std::vector<std::string> kPlasmaLockGroups = {
    "--file",  "kscreenlockerrc", "--group", "Greeter", "--group", "Wallpaper",
    "--group", "org.kde.image",   "--group", "General", "--key",   "Image"};
constexpr const char* kPlasmaLockKey = "kscreenlockerrc Image";

std::optional<PictureRecord> readPlasma(ProcessRunner& runner) {
    for (const char* reader : {"kreadconfig6", "kreadconfig5"}) {
        Command command{reader};
        command.insert(command.end(), kPlasmaLockGroups.begin(), kPlasmaLockGroups.end());
        ProcessResult result = runner.run(command);
        if (result.outcome == ProcessResult::Outcome::NotInstalled) continue;
        if (!result.succeeded()) return std::nullopt;
        return PictureRecord{{kPlasmaLockKey, valueOf(result)}};
    }
    return std::nullopt;
}

void restorePlasma(Steps& steps, const PictureRecord& record) {
    auto lock = record.find(kPlasmaLockKey);
    if (lock == record.end()) return;
    for (const char* writer : {"kwriteconfig6", "kwriteconfig5"}) {
        Command command{writer};
        command.insert(command.end(), kPlasmaLockGroups.begin(), kPlasmaLockGroups.end());
        // An image that was never set goes back to being unset: Plasma's default.
        if (lock->second.empty())
            command.push_back("--delete");
        else
            command.push_back(lock->second);
        if (!missing(steps.run(command, "Plasma lock screen"))) return;
    }
}

// Each monitor's and workspace's last-image property with its value.
std::optional<PictureRecord> readXfce(ProcessRunner& runner) {
    ProcessResult listing = runner.run({"xfconf-query", "-c", "xfce4-desktop", "-l"});
    if (!listing.succeeded()) return std::nullopt;
    PictureRecord record;
    for (const std::string& property : lastImageProperties(listing.output)) {
        ProcessResult value = runner.run({"xfconf-query", "-c", "xfce4-desktop", "-p", property});
        if (!value.succeeded()) return std::nullopt;
        record[property] = valueOf(value);
    }
    if (record.empty()) return std::nullopt;
    return record;
}

class ToolPicture final : public DesktopPicture {
public:
    ToolPicture(PictureSetter setter, ProcessRunner& runner) : setter_(setter), runner_(runner) {}

    Result<void> setPicture(const std::filesystem::path& file) override {
        if (!file.is_absolute()) return notAbsolute(file);
        Steps steps(runner_);
        switch (setter_) {
            case PictureSetter::Gnome:
                setGnome(steps, file);
                break;
            case PictureSetter::Plasma:
                setPlasma(steps, file);
                break;
            case PictureSetter::Cinnamon:
                steps.run(gsettingsSet(schemaOf(setter_), "picture-uri", fileUri(file)),
                          "Cinnamon background");
                break;
            case PictureSetter::Mate:
                steps.run(gsettingsSet(schemaOf(setter_), "picture-filename", file.string()),
                          "MATE background");
                break;
            case PictureSetter::Xfce:
                setXfce(steps, file);
                break;
            case PictureSetter::Sway:
                // sway shows Tavel's own background surfaces; its background program
                // would only cover them (and outlive Tavel). Lockers take the still
                // through its stable link instead.
                break;
            case PictureSetter::X11Root:
            case PictureSetter::Unsupported:
                break;
        }
        return steps.report();
    }

    std::optional<PictureRecord> snapshot() override {
        switch (setter_) {
            case PictureSetter::Gnome:
                return readGsettings(runner_, schemaOf(setter_),
                                     {"picture-uri", "picture-uri-dark"});
            case PictureSetter::Cinnamon:
                return readGsettings(runner_, schemaOf(setter_), {"picture-uri"});
            case PictureSetter::Mate:
                return readGsettings(runner_, schemaOf(setter_), {"picture-filename"});
            case PictureSetter::Plasma:
                return readPlasma(runner_);
            case PictureSetter::Xfce:
                return readXfce(runner_);
            default:
                return std::nullopt;  // sway: nothing of the person's is changed
        }
    }

    Result<void> restore(const PictureRecord& record) override {
        Steps steps(runner_);
        switch (setter_) {
            case PictureSetter::Gnome:
            case PictureSetter::Cinnamon:
            case PictureSetter::Mate:
                // The values are GVariant text as gsettings printed them.
                for (const auto& [key, value] : record)
                    steps.run({"gsettings", "set", schemaOf(setter_), key, value},
                              "desktop background");
                break;
            case PictureSetter::Plasma:
                restorePlasma(steps, record);
                break;
            case PictureSetter::Xfce:
                for (const auto& [property, value] : record)
                    steps.run({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", value},
                              "XFCE desktop");
                break;
            default:
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
