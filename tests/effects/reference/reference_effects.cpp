// Dispatch by effect id and the reference uniform block.

#include "reference_effects.h"

#include "effects/catalog.h"
#include "effects/shader_params.h"
#include "reference_prelude.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavel::reference {

namespace {

using Body = vec3 (*)(const Pixel&);

constexpr std::array<std::pair<std::string_view, Body>, 16> kBodies{{
    {"halvane", halvane},
    {"neontopo", neontopo},
    {"dotwave", dotwave},
    {"filament", filament},
    {"nebulamesh", nebulamesh},
    {"tiles", tiles},
    {"dome", dome},
    {"dothalo", dothalo},
    {"glasscubes", glasscubes},
    {"signalwall", signalwall},
    {"wiremesh", wiremesh},
    {"orbits", orbits},
    {"horizon", horizon},
    {"ridges", ridges},
    {"vortex", vortex},
    {"gridtunnel", gridtunnel},
}};

Body bodyFor(std::string_view id) {
    auto it = std::find_if(kBodies.begin(), kBodies.end(),
                           [id](const auto& entry) { return entry.first == id; });
    return it == kBodies.end() ? nullptr : it->second;
}

Float4 colorWithSlider(const std::optional<std::vector<float>>& override,
                       const std::array<float, 3>& fallback,
                       const std::optional<float>& sliderValue,
                       const std::optional<CustomSpec>& slider) {
    Float4 out{fallback[0], fallback[1], fallback[2], 0.0f};
    if (override && override->size() >= 3) {
        out = {(*override)[0], (*override)[1], (*override)[2], 0.0f};
    }
    if (sliderValue) {
        out[3] = *sliderValue;
    } else if (slider) {
        out[3] = slider->def;
    }
    return out;
}

}  // namespace

Uniforms referenceUniforms(const ShaderEffect& effect, const ShaderParams& params, float effectTime,
                           float width, float height) {
    Uniforms u;
    u.time = effectTime;
    u.zoom = 1.0f / std::max(params.zoom, 0.1f);
    u.intensity = params.intensity;
    u.hue = params.hue;
    u.resolution = {width, height};
    u.pad = {0.0f, 0.0f};
    u.bgColor =
        colorWithSlider(params.bg, effect.defaults.bg, params.custom1, effect.defaults.custom1);
    u.accentColor = colorWithSlider(params.accent, effect.defaults.accent, params.custom2,
                                    effect.defaults.custom2);
    return u;
}

bool hasReference(std::string_view effectId) {
    return bodyFor(effectId) != nullptr;
}

glm::vec3 referencePixel(std::string_view effectId, const Uniforms& u, int x, int yFromTop) {
    Body body = bodyFor(effectId);
    if (body == nullptr) {
        return vec3(0.0f);
    }
    Pixel px(u, x, yFromTop);
    return post(body(px), px.frag().pos, u);
}

}  // namespace tavel::reference
