#include "platform/plasma_desktops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavel {

namespace {

using nlohmann::json;

// Values go into the scripts as JSON, which is JavaScript: ASCII only, so no character
// can end a string or a line early.
std::string literal(const json& value) {
    return value.dump(-1, ' ', true);
}

std::string floats(const Float4& v) {
    char text[128];
    std::snprintf(text, sizeof text, "%.9g,%.9g,%.9g,%.9g", v[0], v[1], v[2], v[3]);
    return text;
}

// Survey and write answers are tagged, so that any other text plasmashell may print is
// not taken for one.
Result<json> taggedAnswer(const std::string& answer, const char* tag) {
    json parsed = json::parse(answer, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object() || !parsed.contains(tag))
        return Failure{"not the script's answer: \"" + answer.substr(0, 120) + "\""};
    return parsed[tag];
}

std::optional<PlasmaWallpaper> wallpaperOf(const json& plugin, const json& config) {
    if (!plugin.is_string() || !config.is_object()) return std::nullopt;
    PlasmaWallpaper wallpaper{plugin.get<std::string>(), {}};
    for (const auto& [key, value] : config.items()) {
        if (!value.is_string()) return std::nullopt;
        wallpaper.config[key] = value.get<std::string>();
    }
    return wallpaper;
}

bool sameRect(const Rect& a, const Rect& b) {
    return std::lround(a.x) == std::lround(b.x) && std::lround(a.y) == std::lround(b.y) &&
           std::lround(a.width) == std::lround(b.width) &&
           std::lround(a.height) == std::lround(b.height);
}

}  // namespace

PlasmaPluginConfig plasmaPluginConfig(const ShaderEffect& effect, const ShaderParams& params,
                                      std::int64_t framesPerSecond, double renderScale,
                                      bool paused) {
    const Uniforms u = makeUniforms(&effect, params, 0, 0, 0);
    return PlasmaPluginConfig{effect.id, params.speed,  u.zoom, u.intensity,     u.hue,
                              u.bgColor, u.accentColor, paused, framesPerSecond, renderScale};
}

PlasmaEntries plasmaConfigEntries(const PlasmaPluginConfig& c) {
    return {{"EffectId", c.effectId},
            {"Speed", c.speed},
            {"Zoom", c.zoom},
            {"Intensity", c.intensity},
            {"Hue", c.hue},
            {"BackgroundColor", floats(c.bg)},
            {"AccentColor", floats(c.accent)},
            {"Paused", c.paused},
            {"FramesPerSecond", c.framesPerSecond},
            {"RenderScale", c.renderScale}};
}

PlasmaEntries changedEntries(const PlasmaEntries& before, const PlasmaEntries& now) {
    PlasmaEntries changed;
    for (const auto& [key, value] : now) {
        auto it = before.find(key);
        if (it == before.end() || it->second != value) changed[key] = value;
    }
    return changed;
}

std::string plasmaSurveyScript() {
    return R"(var out = [];
var list = desktops();
for (var i = 0; i < list.length; ++i) {
    var d = list[i];
    var plugin = d.wallpaperPlugin;
    d.currentConfigGroup = ["Wallpaper", plugin, "General"];
    var config = {};
    var keys = d.configKeys;
    for (var k = 0; k < keys.length; ++k)
        config[keys[k]] = String(d.readConfig(keys[k]));
    var g = d.screen >= 0 ? screenGeometry(d.screen) : null;
    out.push({id: d.id, screen: d.screen, plugin: plugin, config: config,
              geometry: g ? [g.x, g.y, g.width, g.height] : null});
}
print(JSON.stringify({tavelDesktops: out}));
)";
}

Result<std::vector<PlasmaDesktop>> parsePlasmaDesktops(const std::string& answer) {
    auto list = taggedAnswer(answer, "tavelDesktops");
    if (!list) return Failure{list.why()};
    std::vector<PlasmaDesktop> desktops;
    auto bad = [&](const std::string& what) {
        return Failure{"a desktop without " + what + " in \"" + answer.substr(0, 120) + "\""};
    };
    if (!list->is_array()) return bad("a list");
    for (const json& item : *list) {
        if (!item.is_object()) return bad("a record");
        PlasmaDesktop desktop;
        const json& id = item.value("id", json());
        const json& screen = item.value("screen", json());
        if (!id.is_number_integer()) return bad("an id");
        if (!screen.is_number_integer()) return bad("a screen");
        desktop.id = id.get<int>();
        desktop.screen = screen.get<int>();
        auto wallpaper = wallpaperOf(item.value("plugin", json()), item.value("config", json()));
        if (!wallpaper) return bad("a wallpaper");
        desktop.wallpaper = std::move(*wallpaper);
        const json& g = item.value("geometry", json());
        if (g.is_array() && g.size() == 4 &&
            std::all_of(g.begin(), g.end(), [](const json& v) { return v.is_number(); }))
            desktop.geometry = Rect{g[0].get<double>(), g[1].get<double>(), g[2].get<double>(),
                                    g[3].get<double>()};
        else if (!g.is_null())
            return bad("a geometry");
        desktops.push_back(std::move(desktop));
    }
    return desktops;
}

std::string plasmaWriteScript(const std::map<int, PlasmaEntries>& entries, bool select) {
    json all = json::object();
    for (const auto& [id, values] : entries) all[std::to_string(id)] = values;
    return "var plugin = " + literal(kPlasmaPluginId) + ";\nvar entries = " + literal(all) +
           ";\nvar select = " + (select ? "true" : "false") + R"(;
var written = [];
for (var id in entries) {
    var d = desktopById(Number(id));
    if (!d || (!select && d.wallpaperPlugin != plugin))
        continue;
    d.currentConfigGroup = ["Wallpaper", plugin, "General"];
    for (var key in entries[id])
        d.writeConfig(key, entries[id][key]);
    if (d.wallpaperPlugin != plugin)
        d.wallpaperPlugin = plugin;
    written.push(Number(id));
}
print(JSON.stringify({tavelWritten: written}));
)";
}

Result<std::vector<int>> parsePlasmaWritten(const std::string& answer) {
    auto list = taggedAnswer(answer, "tavelWritten");
    if (!list) return Failure{list.why()};
    std::vector<int> ids;
    if (list->is_array())
        for (const json& id : *list)
            if (id.is_number_integer()) ids.push_back(id.get<int>());
    if (!list->is_array() || ids.size() != list->size())
        return Failure{"not a list of desktops: \"" + answer.substr(0, 120) + "\""};
    return ids;
}

std::string plasmaRestoreScript(const std::map<int, PlasmaWallpaper>& recorded) {
    json all = json::object();
    for (const auto& [id, wallpaper] : recorded)
        all[std::to_string(id)] = {{"plugin", wallpaper.plugin}, {"config", wallpaper.config}};
    return "var plugin = " + literal(kPlasmaPluginId) +
           ";\nvar fallback = " + literal(kPlasmaDefaultPlugin) +
           ";\nvar recorded = " + literal(all) + R"(;
var list = desktops();
var restored = [];
for (var i = 0; i < list.length; ++i) {
    var d = list[i];
    if (d.wallpaperPlugin != plugin)
        continue;
    var before = recorded[String(d.id)] || {plugin: fallback, config: {}};
    d.currentConfigGroup = ["Wallpaper", before.plugin, "General"];
    for (var key in before.config)
        d.writeConfig(key, before.config[key]);
    d.wallpaperPlugin = before.plugin;
    restored.push(d.id);
}
print(JSON.stringify({tavelWritten: restored}));
)";
}

std::string encodePlasmaRecord(const std::map<int, PlasmaWallpaper>& recorded) {
    json desktops = json::array();
    for (const auto& [id, wallpaper] : recorded)
        desktops.push_back(
            {{"id", id}, {"plugin", wallpaper.plugin}, {"config", wallpaper.config}});
    return json{{"desktops", desktops}}.dump(2) + "\n";
}

std::optional<std::map<int, PlasmaWallpaper>> decodePlasmaRecord(const std::string& text) {
    json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_object() || !parsed.contains("desktops") || !parsed["desktops"].is_array())
        return std::nullopt;
    std::map<int, PlasmaWallpaper> recorded;
    for (const json& item : parsed["desktops"]) {
        if (!item.is_object() || !item.value("id", json()).is_number_integer()) return std::nullopt;
        auto wallpaper = wallpaperOf(item.value("plugin", json()), item.value("config", json()));
        if (!wallpaper) return std::nullopt;
        recorded[item["id"].get<int>()] = std::move(*wallpaper);
    }
    return recorded;
}

std::vector<int> plasmaDesktopsFor(const ScreenRecord& screen, const std::vector<ScreenRecord>& all,
                                   const std::vector<PlasmaDesktop>& desktops) {
    std::vector<int> ids;
    for (const PlasmaDesktop& desktop : desktops)
        if (desktop.geometry && sameRect(*desktop.geometry, screen.frame))
            ids.push_back(desktop.id);
    if (!ids.empty()) return ids;
    // Geometry that matches nothing (scaled coordinates on X11, a screen that is being
    // rearranged): the same place in the order, where both sides count the same screens.
    std::vector<int> screens;
    for (const PlasmaDesktop& desktop : desktops)
        if (desktop.screen >= 0 &&
            std::find(screens.begin(), screens.end(), desktop.screen) == screens.end())
            screens.push_back(desktop.screen);
    if (screens.size() != all.size()) return ids;
    auto place = std::find(all.begin(), all.end(), screen);
    if (place == all.end()) return ids;
    const int number = static_cast<int>(place - all.begin());
    for (const PlasmaDesktop& desktop : desktops)
        if (desktop.screen == number) ids.push_back(desktop.id);
    return ids;
}

}  // namespace tavel
