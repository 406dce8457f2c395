#include "effects/shader_params.h"

#include <charconv>
#include <cmath>
#include <string>

namespace tavel {

namespace {

const char* const kRequired[] = {"speed", "zoom", "intensity", "hue"};

std::optional<std::vector<float>> decodeColor(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    if (!it->is_array()) throw DecodeError(std::string("\"") + key + "\" is not an array");
    std::vector<float> components;
    components.reserve(it->size());
    for (const auto& value : *it) components.push_back(floatFromJson(value, key));
    // A colour needs three components; a shorter array (hand-edited) counts as absent
    // so that nothing reads past its end.
    if (components.size() < 3) return std::nullopt;
    return components;
}

std::optional<float> decodeOptionalFloat(const nlohmann::json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    return floatFromJson(*it, key);
}

nlohmann::ordered_json encodeColor(const std::vector<float>& components) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (float c : components) array.push_back(jsonFromFloat(c));
    return array;
}

}  // namespace

nlohmann::ordered_json jsonFromFloat(float value) {
    if (!std::isfinite(value)) throw EncodeError("a number is not finite");
    // Integral values are written as integers ("1", not "1.0"), the rest with the
    // shortest decimal text that reads back as the same float ("0.1", not
    // "0.10000000149011612").
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15f)
        return static_cast<std::int64_t>(value);
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::strtod(std::string(text, result.ptr).c_str(), nullptr);
}

float floatFromJson(const nlohmann::json& value, const char* key) {
    if (!value.is_number()) throw DecodeError(std::string("\"") + key + "\" is not a number");
    double number = value.get<double>();
    // Up to half a step past the largest float, a number rounds to it: the shortest text of
    // that float ("3.4028235e+38", as jsonFromFloat writes it) reads back as just above.
    constexpr double kPastLargestFloat = 0x1.ffffffp+127;
    if (!std::isfinite(number) || std::fabs(number) >= kPastLargestFloat)
        throw DecodeError(std::string("\"") + key + "\" does not fit a 32-bit float");
    return static_cast<float>(number);
}

nlohmann::ordered_json encodeShaderParams(const ShaderParams& params) {
    nlohmann::ordered_json object;
    object["speed"] = jsonFromFloat(params.speed);
    object["zoom"] = jsonFromFloat(params.zoom);
    object["intensity"] = jsonFromFloat(params.intensity);
    object["hue"] = jsonFromFloat(params.hue);
    if (params.bg) object["bg"] = encodeColor(*params.bg);
    if (params.accent) object["accent"] = encodeColor(*params.accent);
    if (params.custom1) object["custom1"] = jsonFromFloat(*params.custom1);
    if (params.custom2) object["custom2"] = jsonFromFloat(*params.custom2);
    return object;
}

ShaderParams decodeShaderParams(const nlohmann::json& object) {
    if (!object.is_object()) throw DecodeError("effect parameters are not an object");
    float controls[4];
    for (int i = 0; i < 4; ++i) {
        auto it = object.find(kRequired[i]);
        if (it == object.end()) throw DecodeError(std::string("missing \"") + kRequired[i] + "\"");
        controls[i] = floatFromJson(*it, kRequired[i]);
    }
    ShaderParams params;
    params.speed = controls[0];
    params.zoom = controls[1];
    params.intensity = controls[2];
    params.hue = controls[3];
    params.bg = decodeColor(object, "bg");
    params.accent = decodeColor(object, "accent");
    params.custom1 = decodeOptionalFloat(object, "custom1");
    params.custom2 = decodeOptionalFloat(object, "custom2");
    return params;
}

}  // namespace tavel
