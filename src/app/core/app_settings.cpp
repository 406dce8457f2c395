#include "app/core/app_settings.h"

#include <cmath>

namespace tavel {

namespace {

using Json = nlohmann::json;

// The value of `key` when present and not null.
const Json* member(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

[[noreturn]] void wrongType(const char* key, const char* expected) {
    throw DecodeError(std::string("\"") + key + "\" is not " + expected);
}

void decode(const Json& object, const char* key, std::string& field) {
    if (const Json* v = member(object, key)) {
        if (!v->is_string()) wrongType(key, "a string");
        field = v->get<std::string>();
    }
}

void decode(const Json& object, const char* key, bool& field) {
    if (const Json* v = member(object, key)) {
        if (!v->is_boolean()) wrongType(key, "true or false");
        field = v->get<bool>();
    }
}

void decode(const Json& object, const char* key, std::int64_t& field) {
    if (const Json* v = member(object, key)) {
        if (v->is_number_integer()) {
            if (v->is_number_unsigned() && v->get<std::uint64_t>() > std::uint64_t(INT64_MAX))
                wrongType(key, "a 64-bit integer");
            field = v->get<std::int64_t>();
            return;
        }
        // 30.0 is an integer too; 30.5 is not.
        if (v->is_number_float()) {
            double d = v->get<double>();
            if (std::trunc(d) == d && std::fabs(d) < 9.2e18) {
                field = static_cast<std::int64_t>(d);
                return;
            }
        }
        wrongType(key, "an integer");
    }
}

void decode(const Json& object, const char* key, std::map<std::string, std::string>& field) {
    if (const Json* v = member(object, key)) {
        if (!v->is_object()) wrongType(key, "an object");
        std::map<std::string, std::string> decoded;
        for (const auto& [name, value] : v->items()) {
            if (!value.is_string()) wrongType(key, "an object of strings");
            decoded[name] = value.get<std::string>();
        }
        field = std::move(decoded);
    }
}

void decode(const Json& object, const char* key, std::map<std::string, ShaderParams>& field) {
    if (const Json* v = member(object, key)) {
        if (!v->is_object()) wrongType(key, "an object");
        std::map<std::string, ShaderParams> decoded;
        for (const auto& [name, value] : v->items()) {
            try {
                decoded[name] = decodeShaderParams(value);
            } catch (const DecodeError& error) {
                throw DecodeError(std::string("\"") + key + "\" of \"" + name +
                                  "\": " + error.what());
            }
        }
        field = std::move(decoded);
    }
}

}  // namespace

nlohmann::ordered_json encodeAppSettings(const AppSettings& s) {
    nlohmann::ordered_json object;
    object["globalShaderID"] = s.globalShaderID;
    object["perDisplay"] = nlohmann::ordered_json::object();
    for (const auto& [key, id] : s.perDisplay) object["perDisplay"][key] = id;
    object["sameOnAllDisplays"] = s.sameOnAllDisplays;
    object["params"] = nlohmann::ordered_json::object();
    for (const auto& [id, p] : s.params) object["params"][id] = encodeShaderParams(p);
    object["fps"] = s.fps;
    object["retinaQuality"] = s.retinaQuality;
    object["pauseOnLowPower"] = s.pauseOnLowPower;
    object["showDockIcon"] = s.showDockIcon;
    object["shuffleMinutes"] = s.shuffleMinutes;
    object["paused"] = s.paused;
    object["syncLockScreen"] = s.syncLockScreen;
    object["idleAnimateMinutes"] = s.idleAnimateMinutes;
    object["liveLockVideo"] = s.liveLockVideo;
    // Linux's own, after the record's thirteen keys.
    object["coverDesktopIcons"] = s.coverDesktopIcons;
    return object;
}

std::string encodeAppSettingsText(const AppSettings& settings) {
    // Strings that are not valid UTF-8 (a hand-edited display name) are replaced, not fatal.
    return encodeAppSettings(settings).dump(-1, ' ', false,
                                            nlohmann::json::error_handler_t::replace);
}

AppSettings decodeAppSettings(const nlohmann::json& object) {
    if (!object.is_object()) throw DecodeError("the settings are not a JSON object");
    AppSettings s;
    decode(object, "globalShaderID", s.globalShaderID);
    decode(object, "perDisplay", s.perDisplay);
    decode(object, "sameOnAllDisplays", s.sameOnAllDisplays);
    decode(object, "params", s.params);
    decode(object, "fps", s.fps);
    decode(object, "retinaQuality", s.retinaQuality);
    decode(object, "pauseOnLowPower", s.pauseOnLowPower);
    decode(object, "showDockIcon", s.showDockIcon);
    decode(object, "coverDesktopIcons", s.coverDesktopIcons);
    decode(object, "shuffleMinutes", s.shuffleMinutes);
    decode(object, "paused", s.paused);
    decode(object, "syncLockScreen", s.syncLockScreen);
    decode(object, "idleAnimateMinutes", s.idleAnimateMinutes);
    decode(object, "liveLockVideo", s.liveLockVideo);
    return s;
}

AppSettings decodeAppSettingsText(std::string_view text) {
    nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (object.is_discarded()) throw DecodeError("the stored settings are not valid JSON");
    return decodeAppSettings(object);
}

}  // namespace tavel
