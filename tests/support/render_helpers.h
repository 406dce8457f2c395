#pragma once
// Small helpers for tests that render through the offscreen renderer.

#include "effects/catalog.h"
#include "effects/offscreen/image.h"

#include <deque>
#include <functional>
#include <string>

namespace tavel::test {

// An effect whose program is `body` (the fragment part after the prelude), with the
// catalog defaults of `base` (colours and sliders) so the uniforms are filled as for
// that effect. The id differs for every body, so renderers never reuse another
// body's cached program.
inline ShaderEffect customEffect(const std::string& name, const std::string& body,
                                 const std::string& base = "halvane") {
    static std::deque<std::string> texts;  // the effect refers to its text; keep it alive
    const std::string& text = texts.emplace_back(body);
    ShaderEffect effect = *shaderEffect(base);
    effect.id = "test-" + name + "-" + std::to_string(std::hash<std::string>{}(body));
    effect.name = name;
    effect.fragmentSource = text;
    return effect;
}

// Channel c (0 = blue, 1 = green, 2 = red, 3 = alpha) of pixel (x, y), top row first.
inline int channel(const Image& image, int x, int y, int c) {
    return image.pixel(x, y)[c];
}

}  // namespace tavel::test
