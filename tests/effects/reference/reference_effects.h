#pragma once
// An independent CPU transcription of the effect programs, used to check the GPU
// renders. Everything runs in 32-bit floats with GLSL semantics.

#include "effects/uniforms.h"

#include <glm/vec3.hpp>

#include <string_view>

namespace tavel {
struct ShaderEffect;
struct ShaderParams;
}  // namespace tavel

namespace tavel::reference {

// The uniform block for one frame, built from the effect's catalog defaults and the
// parameters (effectTime is already scaled by speed).
Uniforms referenceUniforms(const ShaderEffect& effect, const ShaderParams& params, float effectTime,
                           float width, float height);

// True when effectId names one of the transcribed effects.
bool hasReference(std::string_view effectId);

// Final colour (0..1, after post) of pixel (x, yFromTop) of a resolution-sized target.
// An unknown id yields black.
glm::vec3 referencePixel(std::string_view effectId, const Uniforms& u, int x, int yFromTop);

}  // namespace tavel::reference
