// The "Texture" effects: halvane, neontopo, dotwave, filament, nebulamesh.

#include "reference_prelude.h"

#include <cmath>

namespace tavel::reference {

vec3 halvane(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec2 p = fr.p;
    float y = fr.uv.y;
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u), s2 = slider2(u);

    vec3 col = mix(1.8f * bg, 0.5f * bg, smoothstep(0.0f, 0.85f, y));
    for (int i = 3; i >= 0; --i) {
        float f = float(i);
        vec3 tone = hueRotate(accent, -s2 * f);
        float h = s1 * (0.14f + 0.24f * f) * (1.0f + 0.09f * std::sin(0.22f * t + 1.7f * f));
        float edge = h + 0.035f * std::sin(1.8f * p.x + t * (0.14f + 0.05f * f) + 2.1f * f) +
                     0.030f * (fbm(vec2(1.1f * p.x + 7.0f * f, 0.05f * t)) - 0.5f);
        float v = y / glm::max(edge, 0.05f);
        col = mix(col, tone, clamp01(std::exp(-2.3f * v) * (0.85f - 0.14f * f)));
        col += tone * std::exp(-220.0f * std::abs(y - edge)) * 0.045f;
    }
    float core = std::exp(-3.2f * p.x * p.x) * std::exp(-8.0f * y);
    col += mix(accent, vec3(1.0f, 0.96f, 0.90f), 0.65f) * core * 0.35f;
    col *= 0.55f + 0.45f * std::exp(-0.9f * p.x * p.x);
    return filmic(col * 1.15f);
}

vec3 neontopo(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u), s2 = slider2(u);

    auto heightAt = [&](const Frag& g) { return fbm(1.1f * g.p + vec2(0.020f * t, 0.012f * t)); };
    vec2 q = 1.1f * fr.p + vec2(0.020f * t, 0.012f * t);
    float h = fbm(q);
    float c = h * s1;
    float w = px.fwidth([&](const Frag& g) { return heightAt(g) * s1; }) + 0.0001f;
    float dist = std::abs(fract(c) - 0.5f);
    float line = smoothstep(2.4f * w, 0.6f * w, dist);
    float h2 = fbm(q + vec2(-0.014f, 0.014f));
    float shade = glm::clamp(60.0f * (h2 - h), -1.0f, 1.0f);
    vec3 col =
        bg + (6.0f * bg + 0.10f) * line * (0.55f + 0.5f * shade) + 1.6f * bg * (1.0f - line) * h;

    float m = fbm(0.65f * fr.p + 9.0f + vec2(0.07f * t, 0.13f * t));
    float band = smoothstep(0.555f, 0.585f, m) * (1.0f - smoothstep(0.615f, 0.645f, m));
    col += accent * line * band * 1.6f + accent * smoothstep(7.0f * w, 0.0f, dist) * band * 0.22f;

    float hw = px.fwidth(heightAt) + 0.0001f;
    float lake = smoothstep(hw, -hw, h - s2);
    col = mix(col, 0.3f * bg, lake);
    col += accent * smoothstep(3.0f * hw, 0.0f, std::abs(h - s2)) * 1.6f;
    return filmic(col * 1.25f) * vig(fr.uv, 0.30f);
}

namespace {

float dwHeight(vec2 q, float t, float s) {
    return fbm(q * s + vec2(0.05f * t, 0.03f * t));
}

struct DotwaveSurface {
    float h0, hx, hy;
    vec2 q;
};

DotwaveSurface dotwaveSurface(const Frag& fr, const Uniforms& u) {
    DotwaveSurface d;
    float s = slider2(u);
    d.h0 = dwHeight(fr.p, u.time, s);
    d.hx = dwHeight(fr.p + vec2(0.035f, 0.0f), u.time, s);
    d.hy = dwHeight(fr.p + vec2(0.0f, 0.035f), u.time, s);
    d.q = (fr.p + 0.4f * vec2(d.hx - d.h0, d.hy - d.h0)) * slider1(u);
    return d;
}

}  // namespace

vec3 dotwave(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec3 bg = bgOf(u), accent = accentOf(u);

    DotwaveSurface d = dotwaveSurface(fr, u);
    vec3 n =
        glm::normalize(vec3(-1.6f * (d.hx - d.h0) / 0.035f, -1.6f * (d.hy - d.h0) / 0.035f, 1.0f));
    vec3 light = glm::normalize(vec3(-0.35f, 0.55f, 0.55f));
    float sheen = std::pow(glm::max(glm::dot(n, light), 0.0f), 4.0f);
    vec2 f = fract(d.q) - 0.5f;
    float fwq = px.fwidth([&](const Frag& g) { return dotwaveSurface(g, u).q.x; });
    float mask = smoothstep(0.30f, 0.30f - 1.4f * (fwq + 0.0001f), glm::length(f));
    float crescent = glm::clamp(
        0.35f + 0.9f * glm::dot(glm::normalize(f + 0.0001f), glm::normalize(vec2(light))), 0.0f,
        1.3f);
    vec3 col =
        bg + accent * mask * (0.085f + 0.60f * sheen * crescent) +
        glm::clamp(1.5f * accent, 0.0f, 1.0f) * mask * std::pow(sheen, 8.0f) * crescent * 0.9f;
    return col * vig(fr.uv, 0.35f);
}

namespace {

struct FilamentPhase {
    float xc, s, ph, ph2;
};

FilamentPhase filamentPhase(const Frag& fr, const Uniforms& u) {
    float t = u.time;
    FilamentPhase r;
    r.xc = fr.p.x + 0.18f + 0.08f * std::sin(0.09f * t);
    float yc = slider2(u) + 0.40f * r.xc * r.xc + 0.02f * std::sin(0.16f * t + 2.2f * r.xc);
    r.s = fr.uv.y - yc;
    vec2 origin(-0.55f + 0.10f * std::sin(0.05f * t), 2.5f);
    vec2 v = vec2(fr.p.x, fr.uv.y) - origin;
    float angle = std::atan2(v.x, -v.y);
    float bend = 0.012f * std::exp(-3.0f * std::abs(r.s)) * std::sin(3.0f * r.xc + 0.12f * t);
    r.ph = (angle + bend) * slider1(u);
    r.ph2 = (angle - bend) * slider1(u) * 1.035f + 0.35f;
    return r;
}

}  // namespace

vec3 filament(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);

    FilamentPhase f = filamentPhase(fr, u);
    float w1 = px.fwidth([&](const Frag& g) { return filamentPhase(g, u).ph; });
    float w2 = px.fwidth([&](const Frag& g) { return filamentPhase(g, u).ph2; });
    float strands =
        glm::max(aaLine(f.ph, w1, 1.5f, 0.45f), 0.55f * aaLine(f.ph2, w2, 1.5f, 0.45f)) *
        (0.82f + 0.18f * std::sin(0.4f * t + 6.2831f * hash21(vec2(std::floor(f.ph), 3.7f))));
    float body = 0.90f * std::exp(-3.2f * glm::max(f.s, 0.0f)) + 0.035f;
    float below = smoothstep(-0.035f, 0.012f, f.s);
    float hot = std::exp(-30.0f * std::abs(f.s));
    float pool = 0.30f + 0.70f * std::exp(-1.5f * (f.xc - 0.05f) * (f.xc - 0.05f));
    vec3 hotColor = mix(accent, vec3(1.0f, 0.93f, 0.82f), 0.75f);
    vec3 col = bg + accent * strands * body * below * pool * 0.80f +
               hotColor * strands * hot * pool * 1.25f + accent * hot * pool * 0.28f +
               accent * std::exp(-5.0f * std::abs(f.s)) * pool * 0.06f;
    return filmic(col * 1.15f) * vig(fr.uv, 0.20f);
}

namespace {

struct Terrain {
    vec2 w;
    float height;
    float z;
};

Terrain nebulaTerrain(const Frag& fr, const Uniforms& u) {
    float yv = glm::max(0.60f - fr.uv.y, 0.004f);
    Terrain r;
    r.z = 1.0f / yv;
    r.height = 0.0f;
    for (int pass = 0; pass < 3; ++pass) {
        r.w = vec2(0.9f * fr.p.x * r.z, 0.5f * r.z + 0.22f * u.time);
        r.height = (fbm(0.30f * r.w) - 0.38f) * slider1(u);
        r.z = glm::clamp((1.0f - r.height) / yv, 0.2f, 80.0f);
    }
    return r;
}

}  // namespace

vec3 nebulamesh(const Pixel& px) {
    const Uniforms& u = px.u;
    Frag fr = px.frag();
    vec2 p = fr.p;
    float y = fr.uv.y;
    float t = u.time;
    vec3 bg = bgOf(u), accent = accentOf(u);
    float s1 = slider1(u), s2 = slider2(u);

    vec3 col = 0.55f * bg;
    float sky = smoothstep(0.60f, 0.65f, y);
    float neb = fbm(1.3f * p + vec2(0.006f * t, 3.0f));
    col += 2.4f * bg * smoothstep(0.42f, 0.80f, neb) * sky +
           0.10f * accent * smoothstep(0.55f, 0.85f, neb) * sky;

    for (int i = 0; i < 2; ++i) {
        float layer = float(i);
        vec2 sp = p * (60.0f + 90.0f * layer) + 13.1f * layer;
        vec2 cell = glm::floor(sp);
        float h = hash21(cell + 31.0f * layer);
        float star = smoothstep(0.955f, 0.995f, h);
        float twinkle = 0.55f + 0.45f * std::sin(t * (0.5f + 2.0f * h) + 40.0f * h);
        vec2 at = (hash22(cell) - 0.5f) * 0.55f;
        float disc = smoothstep(0.17f, 0.02f, glm::length(fract(sp) - 0.5f - at));
        col += vec3(0.85f, 0.92f, 0.95f) * star * twinkle * disc * (0.9f - 0.45f * layer) * sky;
    }

    Terrain ter = nebulaTerrain(fr, u);
    vec2 g = ter.w * s2;
    vec2 fw = px.fwidth([&](const Frag& other) { return nebulaTerrain(other, u).w * s2; });
    float lx = aaLine(g.x, fw.x, 1.6f, 0.5f);
    float ly = aaLine(g.y, fw.y, 1.6f, 0.5f);
    fw += 0.0001f;
    float fade = std::exp(-0.075f * ter.z) * smoothstep(0.85f, 0.30f, fw.x + fw.y);
    float ridge = 0.40f + 0.60f * clamp01(ter.height / glm::max(s1, 0.01f) * 1.6f + 0.5f);
    float ground = smoothstep(0.0f, 0.010f, 0.60f - y);
    col = mix(col, 0.4f * bg, ground) + accent * glm::max(lx, ly) * fade * ridge * ground * 0.95f +
          accent * fade * ground * 0.05f + 0.12f * accent * std::exp(-16.0f * std::abs(y - 0.60f));
    return filmic(col * 1.2f) * vig(fr.uv, 0.18f);
}

}  // namespace tavel::reference
