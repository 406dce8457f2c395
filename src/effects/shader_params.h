#pragma once
// The user's tuning of one effect and its stored JSON form.

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavel {

// Field-wise comparable value record; absent optionals mean "the catalog's default".
struct ShaderParams {
    float speed = 1.0f;      // seconds of effect time per second of wall-clock time
    float zoom = 1.0f;       // zoom control; programs scale coordinates by its reciprocal
    float intensity = 1.0f;  // brightness multiplier after the hue rotation
    float hue = 0.0f;        // hue rotation in degrees
    std::optional<std::vector<float>> bg;      // background override, r g b in 0..1
    std::optional<std::vector<float>> accent;  // accent override, r g b in 0..1
    std::optional<float> custom1;              // first effect slider
    std::optional<float> custom2;              // second effect slider

    bool operator==(const ShaderParams&) const = default;
};

// Thrown by the decoders of stored records; what() says which key was wrong.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by the encoders for a value that JSON cannot hold (NaN, infinity): a record
// that cannot be stored as it is must not be stored as something else.
class EncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Keys in field order; optionals only when present (never null). Throws EncodeError for a
// number that is not finite.
nlohmann::ordered_json encodeShaderParams(const ShaderParams& params);

// Requires the four controls as numbers; optionals may be missing or null. A colour
// array with fewer than three components is read as absent. Throws DecodeError.
ShaderParams decodeShaderParams(const nlohmann::json& object);

// JSON number helpers shared by the stored records.
// A float as the JSON number with the shortest text that reads back as the same float;
// EncodeError for NaN and infinity, which JSON has no number for.
nlohmann::ordered_json jsonFromFloat(float value);
// A JSON number as a 32-bit float; throws DecodeError naming `key` for anything else
// or for a number outside the float range.
float floatFromJson(const nlohmann::json& value, const char* key);

}  // namespace tavel
