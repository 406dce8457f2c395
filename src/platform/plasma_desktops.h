#pragma once
// Plasma's desktops as Tavel's wallpaper plugin meets them: the configuration the plugin
// draws from, the scripts that plasmashell runs (org.kde.PlasmaShell.evaluateScript) to
// look at the desktops, put the plugin on them and give them back, the reading of their
// answers, and which desktop shows which of Tavel's screens. Text in, text out: the bus
// is elsewhere (plasma_wallpapers.h).

#include "effects/catalog.h"
#include "effects/shader_params.h"
#include "effects/uniforms.h"
#include "platform/result.h"
#include "platform/screen.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

// The plugin's package id (data/plasma), which is the application id.
inline constexpr const char* kPlasmaPluginId = "io.tavel.Tavel";
// What plasmashell shows on a desktop that Tavel has to give back without a record.
inline constexpr const char* kPlasmaDefaultPlugin = "org.kde.image";

// The plugin's configuration (data/plasma/contents/config/main.xml): the uniforms as
// Tavel's own views compute them, so the plugin needs no catalog of its own.
struct PlasmaPluginConfig {
    std::string effectId;
    float speed = 1;
    float zoom = 1;  // the coordinate multiplier, 1 / the zoom control
    float intensity = 1;
    float hue = 0;
    Float4 bg{};      // rgb, a = the first slider
    Float4 accent{};  // rgb, a = the second slider
    bool paused = false;
    std::int64_t framesPerSecond = 30;
    double renderScale = 1;

    bool operator==(const PlasmaPluginConfig&) const = default;
};

PlasmaPluginConfig plasmaPluginConfig(const ShaderEffect& effect, const ShaderParams& params,
                                      std::int64_t framesPerSecond, double renderScale,
                                      bool paused);
// The configuration's entries, typed as the plugin reads them (numbers, booleans,
// "r,g,b,a" texts): a script's writes reach the running plugin as written, untyped.
using PlasmaEntries = std::map<std::string, nlohmann::json>;
PlasmaEntries plasmaConfigEntries(const PlasmaPluginConfig& config);
// The entries of `now` that differ from `before`.
PlasmaEntries changedEntries(const PlasmaEntries& before, const PlasmaEntries& now);

// A wallpaper plugin and its configuration ("General" group), as a desktop had them.
struct PlasmaWallpaper {
    std::string plugin;
    std::map<std::string, std::string> config;
    bool operator==(const PlasmaWallpaper&) const = default;
};

// One of plasmashell's desktops (a desktop containment).
struct PlasmaDesktop {
    int id = 0;
    int screen = -1;               // Plasma's screen number; -1 when it shows on none
    std::optional<Rect> geometry;  // that screen's, in logical pixels
    PlasmaWallpaper wallpaper;     // what it shows now
};

// Lists every desktop: id, screen, the screen's geometry, its wallpaper plugin and that
// plugin's configuration. The answer is one line of JSON (parsePlasmaDesktops).
std::string plasmaSurveyScript();
// The desktops of a survey's answer; a failure for any answer that is not the survey's JSON.
Result<std::vector<PlasmaDesktop>> parsePlasmaDesktops(const std::string& answer);

// Writes each listed desktop's plugin configuration, and selects the plugin on it when
// `select` (configuration first, so that it starts with it). Only the entries given are
// written. A desktop that is gone, or (when not selecting) shows another wallpaper now,
// is left alone. The answer lists the ids written, as JSON (parsePlasmaWritten).
std::string plasmaWriteScript(const std::map<int, PlasmaEntries>& entries, bool select);

Result<std::vector<int>> parsePlasmaWritten(const std::string& answer);

// Every desktop that shows the plugin gets back the wallpaper recorded for it, or
// Plasma's default image plugin where none was recorded; others are left alone (their
// wallpaper was chosen in Plasma since).
std::string plasmaRestoreScript(const std::map<int, PlasmaWallpaper>& recorded);

// The record of what desktops showed before the plugin, as kept in a file.
std::string encodePlasmaRecord(const std::map<int, PlasmaWallpaper>& recorded);
std::optional<std::map<int, PlasmaWallpaper>> decodePlasmaRecord(const std::string& text);

// The desktops that show `screen`: those on the Plasma screen whose geometry equals the
// screen's frame (to the pixel). When no geometry matches and Plasma has exactly as many
// screens as `all` lists, the screen at the same place in the order (the primary first on
// both sides).
std::vector<int> plasmaDesktopsFor(const ScreenRecord& screen, const std::vector<ScreenRecord>& all,
                                   const std::vector<PlasmaDesktop>& desktops);

}  // namespace tavel
