#pragma once
// The fixed catalog of effects: categories, defaults, sliders and program text.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavel {

struct ClosedRange {
    float lower;
    float upper;
    bool operator==(const ClosedRange&) const = default;
};

// One effect-specific slider.
struct CustomSpec {
    std::string label;  // upper-case caption, never a key
    ClosedRange range;
    float def;  // default value, inside the range
    bool operator==(const CustomSpec&) const = default;
};

struct EffectDefaults {
    std::array<float, 3> bg;
    std::array<float, 3> accent;
    std::optional<CustomSpec> custom1;  // reaches the program as bgColor.a
    std::optional<CustomSpec> custom2;  // reaches the program as accentColor.a
    bool operator==(const EffectDefaults&) const = default;
};

struct ShaderEffect {
    std::string id;    // stable key of settings; never changes
    std::string name;  // display name
    EffectDefaults defaults;
    std::string_view fragmentSource;  // static text embedded at build time
    bool operator==(const ShaderEffect&) const = default;
};

struct ShaderCategory {
    std::string name;
    std::string icon;
    std::vector<ShaderEffect> effects;
};

// The three categories in order; built once on first use (from any thread), immutable.
const std::vector<ShaderCategory>& shaderLibrary();

// All effects, category by category, in order; built anew on each call.
std::vector<ShaderEffect> allShaders();

// The effect with exactly this id (case-sensitive), or nothing; never substitutes.
std::optional<ShaderEffect> shaderEffect(std::string_view id);

}  // namespace tavel
