// The shared program library, transcribed for the CPU.

#include "reference_prelude.h"

#include <cmath>

namespace tavel::reference {

float hash21(vec2 p) {
    p = fract(p * vec2(123.34f, 345.45f));
    p += glm::dot(p, p + 34.345f);
    return fract(p.x * p.y);
}

vec2 hash22(vec2 p) {
    float n = std::sin(glm::dot(p, vec2(41.0f, 289.0f)));
    return fract(vec2(262144.0f, 32768.0f) * n);
}

float vnoise(vec2 p) {
    vec2 i = glm::floor(p);
    vec2 f = fract(p);
    f = f * f * (3.0f - 2.0f * f);
    float a = hash21(i);
    float b = hash21(i + vec2(1.0f, 0.0f));
    float c = hash21(i + vec2(0.0f, 1.0f));
    float d = hash21(i + vec2(1.0f, 1.0f));
    return mix(mix(a, b, f.x), mix(c, d, f.x), f.y);
}

float fbm(vec2 p) {
    float sum = 0.0f;
    float amplitude = 0.5f;
    for (int octave = 0; octave < 5; ++octave) {
        sum += amplitude * vnoise(p);
        p = vec2(0.8f * p.x + 0.6f * p.y, -0.6f * p.x + 0.8f * p.y) * 2.02f;
        amplitude *= 0.5f;
    }
    return sum;
}

vec3 hueRotate(vec3 c, float deg) {
    float a = deg * 0.017453292f;
    vec3 k(0.57735f);
    float ca = std::cos(a);
    return c * ca + glm::cross(k, c) * std::sin(a) + k * glm::dot(k, c) * (1.0f - ca);
}

vec3 filmic(vec3 x) {
    x = glm::max(x, vec3(0.0f));
    return glm::clamp(x * (2.51f * x + 0.03f) / (x * (2.43f * x + 0.59f) + 0.14f), 0.0f, 1.0f);
}

float vig(vec2 uv, float k) {
    vec2 q = uv - 0.5f;
    return 1.0f - k * glm::dot(q, q) * 2.2f;
}

vec2 aspectUV(vec2 uv, const Uniforms& u) {
    float aspect = u.resolution[0] / glm::max(u.resolution[1], 1.0f);
    return (uv - 0.5f) * vec2(aspect, 1.0f) * u.zoom;
}

vec3 post(vec3 col, vec2 px, const Uniforms& u) {
    col = hueRotate(col, u.hue);
    col *= u.intensity;
    col += (hash21(px + fract(u.time) * 100.0f) - 0.5f) * (1.8f / 255.0f);
    return glm::clamp(col, 0.0f, 1.0f);
}

}  // namespace tavel::reference
