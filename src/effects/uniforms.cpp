#include "effects/uniforms.h"

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <algorithm>

namespace tavel {

namespace {

Float4 resolveColor(const std::optional<std::vector<float>>& override,
                    const std::array<float, 3>* fallback, float fallbackGrey,
                    const std::optional<float>& slider,
                    const std::optional<CustomSpec>* sliderDefault) {
    Float4 out{fallbackGrey, fallbackGrey, fallbackGrey, 0.0f};
    if (override && override->size() >= 3) {
        std::copy_n(override->begin(), 3, out.begin());
    } else if (fallback) {
        std::copy_n(fallback->begin(), 3, out.begin());
    }
    if (slider) {
        out[3] = *slider;
    } else if (sliderDefault && sliderDefault->has_value()) {
        out[3] = (*sliderDefault)->def;
    }
    return out;
}

}  // namespace

ColorUniforms resolvedColorUniforms(const ShaderEffect* effect, const ShaderParams& params) {
    const EffectDefaults* d = effect ? &effect->defaults : nullptr;
    return ColorUniforms{
        resolveColor(params.bg, d ? &d->bg : nullptr, 0.0f, params.custom1,
                     d ? &d->custom1 : nullptr),
        resolveColor(params.accent, d ? &d->accent : nullptr, 1.0f, params.custom2,
                     d ? &d->custom2 : nullptr),
    };
}

float zoomUniform(float zoomControl) {
    // Also catches NaN: a control that is not a number counts as the smallest zoom.
    return 1.0f / (zoomControl > 0.1f ? zoomControl : 0.1f);
}

Uniforms makeUniforms(const ShaderEffect* effect, const ShaderParams& params, float time,
                      float width, float height) {
    ColorUniforms colors = resolvedColorUniforms(effect, params);
    Uniforms u;
    u.time = time;
    u.zoom = zoomUniform(params.zoom);
    u.intensity = params.intensity;
    u.hue = params.hue;
    u.resolution = {width, height};
    u.pad = {0.0f, 0.0f};
    u.bgColor = colors.bg;
    u.accentColor = colors.accent;
    return u;
}

}  // namespace tavel
