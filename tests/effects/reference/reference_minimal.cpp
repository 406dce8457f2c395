// The "Minimal" effects: wiremesh, orbits, horizon, ridges, vortex, gridtunnel.

#include "reference_prelude.h"

#include <cmath>

namespace tavel::reference {

namespace {

vec2 wiremeshWarp(const Frag& fr, const Uniforms& u) {
    vec2 p = fr.p;
    float t = u.time;
    float s2 = slider2(u);
    return p +
           s2 * vec2(vnoise(0.9f * p + vec2(0.10f * t, 0.0f)) - 0.5f,
                     vnoise(0.9f * p + vec2(7.2f, -0.08f * t)) - 0.5f) +
           0.4f * s2 *
               vec2(vnoise(1.8f * p + vec2(0.0f, 0.06f * t)) - 0.5f,
                    vnoise(1.8f * p + vec2(3.3f, 0.07f * t)) - 0.5f);
}

}  // namespace

vec3 wiremesh(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u);

    vec2 w = wiremeshWarp(fr, u);
    vec2 wc = w * s1;
    vec2 fwRaw = px.fwidth([&](const Frag& g) { return wiremeshWarp(g, u) * s1; });
    vec2 fw = fwRaw + 0.00001f;
    vec2 dist = glm::abs(fract(wc) - 0.5f);
    float lx = smoothstep(0.5f - 1.3f * fw.x, 0.5f - 0.3f * fw.x, dist.x);
    float ly = smoothstep(0.5f - 1.3f * fw.y, 0.5f - 0.3f * fw.y, dist.y);
    float fwd = fw.x + fw.y;
    float ld = 1.0f - smoothstep(0.0f, 0.9f * fwd,
                                 std::abs(fract(wc.x) + fract(wc.y) - 1.0f) - 0.35f * fwd);
    vec3 col = bg + accent * glm::max(glm::max(lx, ly), 0.55f * ld) * 0.42f *
                        (0.40f + 0.60f * fbm(1.6f * w + 0.05f * t));

    vec2 half = wc / 2.0f;
    // fwidth(wc / 2) is half of fwidth(wc).
    float vertexDistance = glm::length(vec2(0.5f) - glm::abs(fract(half) - 0.5f)) /
                           (glm::length(fwRaw / 2.0f) + 0.00001f);
    float vh = hash21(glm::floor(half + 0.5f));
    float twinkle = 0.55f + 0.45f * std::sin(t * (0.6f + 1.2f * vh) + 40.0f * vh);
    col += glm::clamp(1.7f * accent, 0.0f, 1.0f) * (1.0f - smoothstep(0.6f, 1.8f, vertexDistance)) *
           (0.35f + 0.65f * twinkle) * (0.4f + 0.6f * step(0.35f, vh));
    return col * vig(fr.uv, 0.30f);
}

vec3 orbits(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u);

    const vec2 centre(0.0f, 0.06f);
    vec2 pp = fr.p - centre;
    float angle = std::atan2(pp.y, pp.x);
    float R = glm::length(pp) * s1;
    float ring = std::floor(R + 0.5f);
    float fw = px.fwidth([&](const Frag& g) { return glm::length(g.p - centre) * s1; }) + 0.00001f;
    float line = smoothstep(1.6f * fw, 0.4f * fw, std::abs(R - ring));
    vec3 col = bg;
    if (ring >= 1.0f) {
        float h = hash21(vec2(ring, 4.7f));
        float direction = fract(7.7f * h) >= 0.5f ? 1.0f : -1.0f;
        float turn = t * direction * (0.015f + 0.045f * h);
        float v = vnoise(1.6f * vec2(std::cos(angle + turn), std::sin(angle + turn)) *
                             (0.42f * ring + 0.8f) +
                         31.0f * h);
        float threshold = mix(0.18f, slider2(u), smoothstep(1.0f, 9.0f, ring));
        float dash = smoothstep(threshold - 0.015f, threshold + 0.015f, v);
        col += accent * line * dash * 0.85f;
    } else {
        col += accent * smoothstep(0.014f, 0.010f, glm::length(pp));
    }
    return col * vig(fr.uv, 0.22f);
}

namespace {

float hzPl(float x, float seed) {
    float i = std::floor(x);
    return mix(hash21(vec2(i, seed)), hash21(vec2(i + 1.0f, seed)), fract(x));
}

vec2 horizonFloor(const Frag& fr, const Uniforms& u, float* z) {
    float yv = glm::max(0.42f - fr.uv.y, 0.003f);
    *z = 0.55f / yv;
    vec2 w(fr.p.x * *z, *z + 0.35f * u.time);
    return 0.45f * slider1(u) * w;
}

struct Range {
    float x, v;
};

Range horizonRange(const Frag& fr, const Uniforms& u, int layer) {
    float l = float(layer);
    float seed = 11.0f + 7.0f * l;
    float frequency = 2.2f + 1.6f * l;
    float amplitude = slider2(u) * (1.0f - 0.42f * l);
    Range r;
    r.x = fr.p.x * frequency + 3.3f * l + 0.005f * u.time * (1.0f + l);
    float ridge = 0.42f + amplitude * (0.12f + 0.88f * hzPl(r.x, seed));
    r.v = ridge - fr.uv.y;
    return r;
}

float horizonCrease(const Range& r, float seed) {
    return r.x + r.v * (hzPl(r.x + 17.0f, seed + 4.0f) - 0.5f) * 1.6f;
}

}  // namespace

vec3 horizon(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float y = fr.uv.y;
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);

    float z = 0.0f;
    vec2 g = horizonFloor(fr, u, &z);
    vec2 fwRaw = px.fwidth([&](const Frag& other) {
        float zz = 0.0f;
        return horizonFloor(other, u, &zz);
    });
    vec2 fw = fwRaw + 0.0001f;
    float fade = std::exp(-0.12f * z) * smoothstep(0.9f, 0.35f, fw.x + fw.y);
    float below = smoothstep(0.0f, 0.006f, 0.42f - y);
    vec3 col = bg +
               accent *
                   glm::max(aaLine(g.x, fwRaw.x, 1.5f, 0.45f), aaLine(g.y, fwRaw.y, 1.5f, 0.45f)) *
                   fade * below * 0.95f +
               accent * fade * below * 0.04f;

    for (int layer = 0; layer < 2; ++layer) {
        float l = float(layer);
        float seed = 11.0f + 7.0f * l;
        Range r = horizonRange(fr, u, layer);
        float above = smoothstep(-0.001f, 0.002f, y - 0.42f);
        float fwr =
            px.fwidth([&](const Frag& other) { return horizonRange(other, u, layer).v; }) + 0.0001f;
        float inside = smoothstep(fwr, -fwr, -r.v) * above;
        col = mix(col, bg, inside);
        float ridgeLine = smoothstep(1.8f * fwr, 0.5f * fwr, std::abs(r.v)) * above;
        float xs = horizonCrease(r, seed);
        float wxs = px.fwidth(
            [&](const Frag& other) { return horizonCrease(horizonRange(other, u, layer), seed); });
        float crease = aaLine(xs, wxs, 1.6f, 0.5f);
        float shimmer = 0.85f + 0.15f * std::sin(0.30f * t + 2.1f * l);
        col += accent * ridgeLine * (0.75f - 0.25f * l) * shimmer +
               accent * crease * inside * std::exp(-9.0f * r.v) * (0.40f - 0.15f * l) * shimmer;
    }
    col += accent * smoothstep(0.0035f, 0.0f, std::abs(y - 0.42f)) * 0.55f;
    return col * vig(fr.uv, 0.18f);
}

namespace {

float ridgeProfile(float x, float seed, float t) {
    return fbm(vec2(0.55f * x + seed, seed + 0.030f * t));
}

float ridgeDepth(const Frag& fr, const Uniforms& u, int layer) {
    float seed = 3.0f + 11.0f * float(layer);
    float base = layer == 0 ? 0.10f : -0.38f;
    float amplitude = (layer == 0 ? 1.0f : 0.65f) * slider2(u);
    float ridge = base + (ridgeProfile(fr.p.x, seed, u.time) - 0.5f) * amplitude;
    return ridge - fr.p.y;
}

float ridgeContour(const Frag& fr, const Uniforms& u, int layer) {
    float seed = 3.0f + 11.0f * float(layer);
    float v = ridgeDepth(fr, u, layer);
    // Far above the ridge (v <= -1/1.1) the masked-out contour would divide by zero.
    float denominator = glm::max(1.0f + 1.1f * v, 0.01f);
    return slider1(u) * v / denominator +
           3.0f * fbm(vec2(1.3f * fr.p.x + 2.0f * seed, 1.4f * v + seed));
}

}  // namespace

vec3 ridges(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec3 bg = bgOf(u), accent = accentOf(u);

    vec3 col = bg;
    for (int layer = 0; layer < 2; ++layer) {
        float v = ridgeDepth(fr, u, layer);
        float fw =
            px.fwidth([&](const Frag& other) { return ridgeDepth(other, u, layer); }) + 0.0001f;
        float mask = smoothstep(fw, -fw, -v);
        col = mix(col, bg, mask);
        float c = ridgeContour(fr, u, layer);
        float wc = px.fwidth([&](const Frag& other) { return ridgeContour(other, u, layer); });
        col = glm::max(
            col, accent * aaLine(c, wc, 1.5f, 0.45f) * mask * (0.55f + 0.5f * std::exp(-5.5f * v)));
    }
    return col * vig(fr.uv, 0.12f);
}

vec3 vortex(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u);

    const vec2 centre(0.0f, 0.02f);
    vec2 pp = fr.p - centre;
    float angle = std::atan2(pp.y, pp.x);
    float R = glm::length(pp) * s1;
    float ring = std::floor(R + 0.5f);
    float radial = R - ring;
    float fw = px.fwidth([&](const Frag& g) { return glm::length(g.p - centre) * s1; }) + 0.00001f;
    vec3 col = bg;
    if (ring >= 1.0f) {
        float h = hash21(vec2(ring, 8.3f));
        float direction = fract(5.1f * h) >= 0.3f ? 1.0f : -1.0f;
        float twist = slider2(u) * std::exp(-0.16f * ring) + t * direction * (0.020f + 0.030f * h);
        float count = glm::max(6.0f, std::floor(6.5f * ring));
        float s = (angle + twist) * 0.15915494f * count;
        float slot = mod(std::floor(s), count);
        float hd = hash21(vec2(slot, 1.7f * ring));
        float tt = (fract(s) - 0.5f) * 6.2831f * ring / count;
        float radius = (0.09f + 0.10f * fract(5.7f * hd)) * (0.55f + 0.035f * ring);
        float dotMask = smoothstep(radius, radius - 1.6f * fw, glm::length(vec2(radial, tt)));
        float exists = fract(9.1f * hd) >= 0.14f ? 1.0f : 0.0f;
        float brightness =
            (0.30f + 0.65f * fract(3.3f * hd)) * (0.45f + 0.55f * smoothstep(2.0f, 12.0f, ring));
        col += accent * dotMask * exists * brightness;
    }
    return col * vig(fr.uv, 0.20f);
}

namespace {

struct TunnelCoords {
    float c1, c2, fade, tx, ty;
};

TunnelCoords tunnelCoords(const Frag& fr, const Uniforms& u) {
    vec2 p = fr.p;
    float s1 = slider1(u), s2 = slider2(u);
    TunnelCoords r;
    r.tx = 0.66f / glm::max(std::abs(p.x), 0.0001f);
    r.ty = 0.46f / glm::max(std::abs(p.y), 0.0001f);
    float depth = glm::min(r.tx, r.ty);
    float scroll = 0.55f * u.time;
    if (depth < s2) {
        r.c1 = 1.8f * depth + scroll;
        r.c2 = (r.tx < r.ty ? p.y * depth : p.x * depth) * s1;
        r.fade = std::exp(-0.22f * (depth - 1.0f));
    } else {
        r.c1 = p.x * s2 * s1;
        r.c2 = p.y * s2 * s1;
        r.fade = 1.15f * std::exp(-0.22f * (s2 - 1.0f));
    }
    return r;
}

}  // namespace

vec3 gridtunnel(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec3 bg = bgOf(u), accent = accentOf(u);

    TunnelCoords c = tunnelCoords(fr, u);
    vec2 fw = px.fwidth([&](const Frag& g) {
        TunnelCoords o = tunnelCoords(g, u);
        return vec2(o.c1, o.c2);
    });
    vec3 col =
        bg +
        accent * glm::max(aaLine(c.c1, fw.x, 1.4f, 0.4f), aaLine(c.c2, fw.y, 1.4f, 0.4f)) * c.fade *
            0.85f +
        accent * smoothstep(0.015f, 0.0f, std::abs(c.tx - c.ty) / (c.tx + c.ty)) * c.fade * 0.35f;
    return col * vig(fr.uv, 0.18f);
}

}  // namespace tavel::reference
