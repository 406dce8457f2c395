#pragma once
// Shared helpers of the reference: the program library's functions and a pixel context
// that mirrors screen-space derivatives with finite differences.

#include "effects/uniforms.h"

#include <glm/common.hpp>
#include <glm/exponential.hpp>
#include <glm/geometric.hpp>
#include <glm/trigonometric.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

namespace tavel::reference {

using glm::vec2;
using glm::vec3;

// GLSL built-ins with their exact definitions (GLM's versions differ in corner cases).
inline float fract(float x) {
    return x - glm::floor(x);
}
inline vec2 fract(vec2 x) {
    return x - glm::floor(x);
}
inline float mod(float x, float y) {
    return x - y * glm::floor(x / y);
}
inline float smoothstep(float e0, float e1, float x) {
    float t = glm::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
inline float mix(float a, float b, float t) {
    return a + (b - a) * t;
}
inline vec3 mix(vec3 a, vec3 b, float t) {
    return a + (b - a) * t;
}
inline float step(float edge, float x) {
    return x < edge ? 0.0f : 1.0f;
}
inline float clamp01(float x) {
    return glm::clamp(x, 0.0f, 1.0f);
}

float hash21(vec2 p);
vec2 hash22(vec2 p);
float vnoise(vec2 p);
float fbm(vec2 p);
vec3 hueRotate(vec3 c, float deg);
vec3 filmic(vec3 x);
float vig(vec2 uv, float k);
vec2 aspectUV(vec2 uv, const Uniforms& u);
vec3 post(vec3 col, vec2 px, const Uniforms& u);

// line(c; a, b): anti-aliased line at every integer value of c; w = fwidth(c).
inline float aaLine(float c, float w, float a, float b) {
    w += 0.0001f;
    return smoothstep(0.5f - a * w, 0.5f - b * w, glm::abs(fract(c) - 0.5f));
}

// The fragment inputs of one pixel.
struct Frag {
    vec2 uv;   // 0..1, y up
    vec2 pos;  // pixel centre, origin top-left
    vec2 p;    // aspectUV(uv)
};

// One pixel being shaded. fwidth() evaluates a quantity (a function of Frag) at the
// pixel pairs of its 2x2 quad, the way the GPU forms fine derivatives.
class Pixel {
public:
    Pixel(const Uniforms& uniforms, int x, int yFromTop) : u(uniforms), x_(x), y_(yFromTop) {}

    Frag frag() const { return at(x_, y_); }

    Frag at(int x, int y) const {
        Frag f;
        f.uv =
            vec2((float(x) + 0.5f) / u.resolution[0], 1.0f - (float(y) + 0.5f) / u.resolution[1]);
        f.pos = vec2(float(x) + 0.5f, float(y) + 0.5f);
        f.p = aspectUV(f.uv, u);
        return f;
    }

    template <class F>
    auto fwidth(F&& quantity) const {
        int x0 = x_ & ~1;
        int y0 = y_ & ~1;
        auto dx = quantity(at(x0 + 1, y_)) - quantity(at(x0, y_));
        auto dy = quantity(at(x_, y0 + 1)) - quantity(at(x_, y0));
        return glm::abs(dx) + glm::abs(dy);
    }

    const Uniforms& u;

private:
    int x_;
    int y_;
};

// Effect bodies: the colour before post(). Time, sliders and colours come from px.u.
vec3 halvane(const Pixel& px);
vec3 neontopo(const Pixel& px);
vec3 dotwave(const Pixel& px);
vec3 filament(const Pixel& px);
vec3 nebulamesh(const Pixel& px);
vec3 tiles(const Pixel& px);
vec3 dome(const Pixel& px);
vec3 dothalo(const Pixel& px);
vec3 glasscubes(const Pixel& px);
vec3 signalwall(const Pixel& px);
vec3 wiremesh(const Pixel& px);
vec3 orbits(const Pixel& px);
vec3 horizon(const Pixel& px);
vec3 ridges(const Pixel& px);
vec3 vortex(const Pixel& px);
vec3 gridtunnel(const Pixel& px);

// Uniform accessors in the notation of the effect descriptions.
inline vec3 bgOf(const Uniforms& u) {
    return vec3(u.bgColor[0], u.bgColor[1], u.bgColor[2]);
}
inline vec3 accentOf(const Uniforms& u) {
    return vec3(u.accentColor[0], u.accentColor[1], u.accentColor[2]);
}
inline float slider1(const Uniforms& u) {
    return u.bgColor[3];
}
inline float slider2(const Uniforms& u) {
    return u.accentColor[3];
}

}  // namespace tavel::reference
