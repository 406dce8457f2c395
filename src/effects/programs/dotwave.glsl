// Dot Weave: a grid of round dots on a gently undulating surface lit from the
// upper left, each dot catching a crescent highlight on its lit side.

float dwHeight(vec2 q, float t, float s) {
    return fbm(q * s + vec2(0.05 * t, 0.03 * t));
}

// normalize() that stays finite for a zero vector (which it maps to zero).
vec2 dwDirection(vec2 d) {
    return d * inversesqrt(max(dot(d, d), 1e-20));
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float density = u.bgColor.a;
    float waves = u.accentColor.a;

    float h0 = dwHeight(p, t, waves);
    float hx = dwHeight(p + vec2(0.035, 0.0), t, waves);
    float hy = dwHeight(p + vec2(0.0, 0.035), t, waves);
    // z = 1 keeps the normal away from zero length.
    vec3 n = normalize(vec3(-1.6 * (hx - h0) / 0.035, -1.6 * (hy - h0) / 0.035, 1.0));
    vec3 L = normalize(vec3(-0.35, 0.55, 0.55));
    // Powers by repeated squaring rather than pow(): defined for a zero base.
    float lit = max(dot(n, L), 0.0);
    float lit2 = lit * lit;
    float sheen = lit2 * lit2;
    float sheen2 = sheen * sheen;
    float sheen4 = sheen2 * sheen2;
    float sheen8 = sheen4 * sheen4;

    // The slope pushes the dots around, so the grid rides on the surface.
    vec2 q = (p + 0.4 * vec2(hx - h0, hy - h0)) * density;
    vec2 f = fract(q) - 0.5;
    float mask = smoothstep(0.30, 0.30 - 1.4 * (fwidth(q.x) + 0.0001), length(f));
    float crescent =
        clamp(0.35 + 0.9 * dot(dwDirection(f + 0.0001), normalize(L.xy)), 0.0, 1.3);

    vec3 col = bg + accent * mask * (0.085 + 0.60 * sheen * crescent) +
               clamp(1.5 * accent, 0.0, 1.0) * mask * sheen8 * crescent * 0.9;

    col *= vig(v.uv, 0.35);
    return vec4(post(col, v.position.xy, u), 1.0);
}
