// The "Pattern" effects: tiles, dome, dothalo, glasscubes, signalwall.

#include "reference_prelude.h"

#include <cmath>

namespace tavel::reference {

vec3 tiles(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);

    vec2 q = fr.p * slider1(u);
    vec2 cell = glm::floor(q);
    vec2 f = fract(q) - 0.5f;
    float h = hash21(cell);
    float d = fract(3.3f * h) >= 0.5f ? 1.0f : -1.0f;
    float angle = 6.2831f * h + t * (0.06f + 0.10f * fract(7.7f * h)) * d;
    float amp = (0.15f + 0.85f * smoothstep(0.15f, 1.0f, fract(9.3f * h))) *
                (0.55f + 0.45f * std::sin(0.25f * t + 40.0f * h));
    float g = glm::clamp(glm::dot(f, vec2(std::cos(angle), std::sin(angle))) + 0.55f, 0.0f, 1.1f);
    vec3 col = bg + (0.020f + amp * slider2(u) * std::pow(g, 2.4f)) * accent;
    float e = 0.5f - glm::max(std::abs(f.x), std::abs(f.y));
    col += 0.8f * accent * smoothstep(0.045f, 0.0f, e) * (0.10f + 0.42f * amp);
    col *= 1.0f - 0.85f * smoothstep(0.010f, 0.002f, e);
    return filmic(col * 1.2f) * vig(fr.uv, 0.30f);
}

vec3 dome(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec2 p = fr.p;
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);

    float r = glm::length(p) * (1.0f + 0.06f * std::sin(0.35f * t));
    float a = std::atan2(p.y, p.x) + 0.02f * t;
    float bulge = slider2(u) * (1.0f + 0.18f * std::sin(0.45f * t + 1.0f));
    vec2 q = p * (0.40f + bulge * smoothstep(0.0f, 0.95f, r)) * slider1(u);
    vec2 cell = glm::floor(q);
    vec2 f = fract(q) - 0.5f;
    float b = smoothstep(0.10f, 0.80f, r) *
                  (0.18f + 0.82f * std::pow(std::abs(std::cos(2.0f * a + 0.18f * t)), 0.9f)) +
              0.015f;
    float face = (0.35f + 0.65f * clamp01(glm::dot(f, glm::normalize(p + 0.0001f)) + 0.5f)) *
                 (0.86f + 0.14f * std::sin(1.3f * t + 6.2831f * hash21(cell)));
    float e = 0.5f - glm::max(std::abs(f.x), std::abs(f.y));
    float bevel = smoothstep(0.12f, 0.0f, e);
    vec3 col = bg + accent * b * face * 0.45f + 1.3f * accent * bevel * b * 0.45f;
    float glint = std::pow(glm::max(std::cos(a - 0.5f * t), 0.0f), 10.0f);
    col += accent * glint * b * (0.35f + 0.5f * bevel);
    col *= 1.0f - 0.85f * smoothstep(0.020f, 0.004f, e);
    float cd = glm::length(vec2(0.5f) - glm::abs(f));
    col += 0.9f * std::exp(-55.0f * cd * cd) * b * 0.5f *
           (0.6f + 0.4f * std::sin(2.0f * t + 6.2831f * hash21(cell + 7.0f)));
    return filmic(col * 1.2f);
}

vec3 dothalo(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u);

    vec2 q = fr.p * s1;
    vec2 cell = glm::floor(q);
    vec2 cc = (cell + 0.5f) / s1;
    vec2 rel = cc - vec2(0.06f, 0.03f);
    float r = glm::length(rel);
    float a = std::atan2(rel.y, rel.x);
    float v = r * slider2(u) - 0.12f * t;
    // 3.1416 is a hair above pi: keep the base of the power non-negative.
    float shade = std::pow(glm::max(std::sin(3.1416f * fract(v)), 0.0f), 1.6f);
    float highlight = 0.5f + 0.5f * std::cos(a - 2.3f);
    float lum = shade * (0.22f + 0.78f * highlight) * smoothstep(1.35f, 0.35f, r);
    vec3 dotColor = mix(bg, accent, smoothstep(0.05f, 0.5f, lum));
    dotColor =
        mix(dotColor, glm::clamp(2.5f * accent + 0.45f, 0.0f, 1.0f), smoothstep(0.5f, 0.95f, lum));
    dotColor *= 0.9f + 0.1f * std::sin(0.8f * t + 6.2831f * hash21(cell));
    float fwq = px.fwidth([&](const Frag& g) { return g.p.x * s1; });
    float dm = smoothstep(0.42f, 0.42f - 1.5f * (fwq + 0.001f), glm::length(fract(q) - 0.5f));
    vec3 col = 0.08f * bg + glm::max(dotColor * dm, 0.35f * bg * dm);
    return filmic(col * 1.15f) * vig(fr.uv, 0.25f);
}

namespace {

struct HexCell {
    vec2 offset;
    vec2 id;
};

HexCell gcHex(vec2 p) {
    const vec2 s(1.0f, 1.7320508f);
    vec2 a = glm::floor(p / s) + 0.5f;
    vec2 b = glm::floor((p - vec2(0.5f, 1.0f)) / s) + 0.5f;
    vec2 ha = p - a * s;
    vec2 hb = p - (b + 0.5f) * s;
    if (glm::dot(ha, ha) < glm::dot(hb, hb)) {
        return {ha, a};
    }
    return {hb, b + 0.5f};
}

float gcSeg(vec2 q, vec2 b) {
    float h = clamp01(glm::dot(q, b) / glm::dot(b, b));
    return glm::length(q - b * h);
}

float gcEdge(vec2 q) {
    vec2 aq = glm::abs(q);
    float border = std::abs(glm::max(aq.x, glm::dot(aq, vec2(0.5f, 0.8660254f))) - 0.5f);
    float spokes =
        glm::min(gcSeg(q, vec2(0.0f, 0.57735f)),
                 glm::min(gcSeg(q, vec2(-0.5f, -0.288675f)), gcSeg(q, vec2(0.5f, -0.288675f))));
    return glm::min(border, spokes);
}

}  // namespace

vec3 glasscubes(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 accent = accentOf(u);
    float s2 = slider2(u);

    vec3 col = bgOf(u);
    for (int layer = 0; layer < 2; ++layer) {
        float l = float(layer);
        bool far = layer == 0;
        float scale = slider1(u) * (far ? 1.55f : 1.0f);
        vec2 shift(3.7f * l + t * (far ? 0.014f : 0.008f), 1.3f * l);
        vec2 q = fr.p * scale + shift;
        HexCell hex = gcHex(q);
        float d = gcEdge(hex.offset);
        float fwq = px.fwidth([&](const Frag& g) { return (g.p * scale + shift).x; });
        float aa = 1.4f * fwq + 0.001f;
        float line = smoothstep(0.022f + aa, 0.022f - aa, d);
        float cluster = fbm(0.13f * hex.id + 5.0f * l + vec2(0.014f * t, -0.010f * t));
        float on = smoothstep(0.60f - 0.30f * s2, 0.72f - 0.22f * s2, cluster);
        float pulse = 0.72f + 0.28f * std::sin(0.6f * t + 6.2831f * hash21(hex.id + 17.0f * l));
        col += accent * line * (0.02f + 0.98f * on) * pulse * (far ? 0.20f : 1.0f) +
               accent * std::exp(-70.0f * d * d) * on * pulse * (far ? 0.04f : 0.18f);
    }
    return filmic(col * 1.25f) * vig(fr.uv, 0.28f);
}

namespace {

// The wall's horizontal coordinate, curving away toward the left edge.
float signalWarpX(float x) {
    float bend = smoothstep(-0.25f, -1.05f, x);
    return x + 0.35f * bend * bend;
}

vec2 signalGrid(const Frag& fr, const Uniforms& u) {
    return vec2(signalWarpX(fr.p.x), fr.p.y) * slider1(u);
}

// Signed distance to a box of half size `half` whose corners are rounded with radius r
// (the rounding stays inside the half size).
float roundedBox(vec2 p, vec2 half, float r) {
    vec2 q = glm::abs(p) - half + r;
    return glm::length(glm::max(q, 0.0f)) + glm::min(glm::max(q.x, q.y), 0.0f) - r;
}

}  // namespace

vec3 signalwall(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec2 p = fr.p;
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s2 = slider2(u);

    float xw = signalWarpX(p.x);
    vec2 q = signalGrid(fr, u);
    vec2 cell = glm::floor(q);
    vec2 f = fract(q) - 0.5f;
    vec2 fw = px.fwidth([&](const Frag& g) { return signalGrid(g, u); });
    float aa = 0.7f * (fw.x + fw.y) + 0.001f;

    float rh = hash21(vec2(cell.y, 9.1f));
    float active = smoothstep(s2 + 0.04f, s2 - 0.04f, rh);
    float direction = fract(7.7f * rh) >= 0.5f ? 1.0f : -1.0f;
    float rate = 0.35f + 0.65f * fract(13.3f * rh);
    float s = 1.4f * xw - 0.25f * t * direction * rate + 41.0f * rh;
    float e = active * smoothstep(0.42f, 0.88f, vnoise(vec2(1.7f * s, 90.0f * rh))) *
              (0.30f + 0.70f * smoothstep(0.7f, -0.7f, p.x));

    vec2 half(mix(0.115f, 0.47f, clamp01(1.35f * e)), mix(0.115f, 0.24f, e));
    float mask = smoothstep(aa, -aa, roundedBox(f, half, 0.07f));
    vec3 col =
        bg + vec3(0.50f, 0.53f, 0.57f) * mask *
                 (0.045f + 0.03f * (0.6f + 0.4f * std::sin(0.7f * t + 6.2831f * hash21(cell))));
    vec3 signal = fract(5.3f * rh) >= 0.55f ? hueRotate(accent, 150.0f) : accent;
    col += signal * mask * e * 1.35f + mix(signal, vec3(0.95f), 0.5f) * mask * e * e * e * 0.7f;
    return col * vig(fr.uv, 0.30f);
}

}  // namespace tavel::reference
