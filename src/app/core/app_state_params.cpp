// Parameter editing: bindings that read the live settings and write one field.

#include "app/core/app_state.h"

#include <cmath>

namespace tavel {

void AppState::writeParams(const std::string& id,
                           const std::function<void(ShaderParams&)>& change) {
    ShaderParams p = params(id);
    change(p);
    updateSettings([&](AppSettings& s) { s.params[id] = p; });
}

Binding<float> AppState::paramBinding(float ShaderParams::*field, const std::string& id) {
    return {
        [this, field, id] { return params(id).*field; },
        [this, field, id](const float& value) {
            // NaN or infinity is no setting: the stored parameters stay as they are.
            if (!std::isfinite(value)) return;
            writeParams(id, [&](ShaderParams& p) { p.*field = value; });
        },
    };
}

Binding<Rgba> AppState::colorBinding(bool accentSlot, const std::string& id) {
    return {
        [this, accentSlot, id] {
            ShaderParams p = params(id);
            const auto& stored = accentSlot ? p.accent : p.bg;
            // Fewer than three components (a hand-edited store) reads as absent.
            if (stored && stored->size() >= 3)
                return Rgba{(*stored)[0], (*stored)[1], (*stored)[2], 1.0f};
            if (auto effect = shaderEffect(id)) {
                const auto& c = accentSlot ? effect->defaults.accent : effect->defaults.bg;
                return Rgba{c[0], c[1], c[2], 1.0f};
            }
            return Rgba{1.0f, 1.0f, 1.0f, 1.0f};
        },
        [this, accentSlot, id](const Rgba& color) {
            // sRGB is the display's space here: the components are stored as they come.
            // A colour that is not a colour (NaN, infinity) leaves the parameters alone.
            if (!std::isfinite(color.r) || !std::isfinite(color.g) || !std::isfinite(color.b))
                return;
            writeParams(id, [&](ShaderParams& p) {
                (accentSlot ? p.accent : p.bg) = std::vector<float>{color.r, color.g, color.b};
            });
        },
    };
}

Binding<float> AppState::customBinding(std::int64_t slot, const std::string& id) {
    const bool first = slot == 1;
    return {
        [this, first, id] {
            ShaderParams p = params(id);
            const auto& stored = first ? p.custom1 : p.custom2;
            if (stored) return *stored;
            if (auto effect = shaderEffect(id)) {
                const auto& slider = first ? effect->defaults.custom1 : effect->defaults.custom2;
                if (slider) return slider->def;
            }
            return 0.0f;
        },
        [this, first, id](const float& value) {
            if (!std::isfinite(value)) return;
            writeParams(id, [&](ShaderParams& p) { (first ? p.custom1 : p.custom2) = value; });
        },
    };
}

void AppState::resetParams(const std::string& id) {
    updateSettings([&](AppSettings& s) { s.params.erase(id); });
}

}  // namespace tavel
