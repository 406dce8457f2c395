// Tavel: bands of light rising from the bottom edge, four hue-stepped tones
// laid over one another like paint, over a near-black surface, with a hot core
// at the bottom centre.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float y = v.uv.y;
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float rise = u.bgColor.a;
    float spread = u.accentColor.a;

    vec3 col = mix(1.8 * bg, 0.5 * bg, smoothstep(0.0, 0.85, y));

    // Tallest, most hue-shifted tone first; the accent itself is painted last.
    for (int i = 3; i >= 0; i--) {
        float f = float(i);
        vec3 tone = hueRotate(accent, -spread * f);
        float h = rise * (0.14 + 0.24 * f) * (1.0 + 0.09 * sin(0.22 * t + 1.7 * f));
        float edge = h + 0.035 * sin(1.8 * p.x + t * (0.14 + 0.05 * f) + 2.1 * f) +
                     0.030 * (fbm(vec2(1.1 * p.x + 7.0 * f, 0.05 * t)) - 0.5);
        // A low rise (or a noise dip) can take the edge to zero or below; holding
        // the divisor keeps the fall-off finite and leaves a thin band at the bottom.
        float vv = y / max(edge, 0.05);
        col = mix(col, tone, clamp(exp(-2.3 * vv) * (0.85 - 0.14 * f), 0.0, 1.0));
        col += tone * exp(-220.0 * abs(y - edge)) * 0.045;
    }

    float core = exp(-3.2 * p.x * p.x) * exp(-8.0 * y);
    col += mix(accent, vec3(1.0, 0.96, 0.90), 0.65) * core * 0.35;
    col *= 0.55 + 0.45 * exp(-0.9 * p.x * p.x);

    col = filmic(col * 1.15);
    return vec4(post(col, v.position.xy, u), 1.0);
}
