#pragma once
// The 64-byte per-frame uniform block and how it is filled.

#include <array>
#include <cstddef>

namespace tavel {

struct ShaderEffect;
struct ShaderParams;

using Float2 = std::array<float, 2>;
using Float4 = std::array<float, 4>;

// GPU wire format: identical to the std140 block the program prelude declares.
struct Uniforms {
    float time = 0;        // effect time in seconds, already scaled by speed
    float zoom = 1;        // 1 / max(zoom control, 0.1)
    float intensity = 1;   // the intensity control
    float hue = 0;         // the hue control, degrees
    Float2 resolution{};   // target size in pixels
    Float2 pad{};          // always (0, 0)
    Float4 bgColor{};      // rgb background, a = slider 1
    Float4 accentColor{};  // rgb accent, a = slider 2

    bool operator==(const Uniforms&) const = default;
};

static_assert(sizeof(Uniforms) == 64);
static_assert(offsetof(Uniforms, time) == 0);
static_assert(offsetof(Uniforms, zoom) == 4);
static_assert(offsetof(Uniforms, intensity) == 8);
static_assert(offsetof(Uniforms, hue) == 12);
static_assert(offsetof(Uniforms, resolution) == 16);
static_assert(offsetof(Uniforms, pad) == 24);
static_assert(offsetof(Uniforms, bgColor) == 32);
static_assert(offsetof(Uniforms, accentColor) == 48);

struct ColorUniforms {
    Float4 bg;
    Float4 accent;
};

// Merges parameter overrides with the effect's catalog defaults (effect may be null).
ColorUniforms resolvedColorUniforms(const ShaderEffect* effect, const ShaderParams& params);

// The coordinate multiplier for a zoom control; controls of 0.1 or less count as 0.1.
float zoomUniform(float zoomControl);

// One frame's block: `time` is the effect time already scaled by speed.
Uniforms makeUniforms(const ShaderEffect* effect, const ShaderParams& params, float time,
                      float width, float height);

}  // namespace tavel
