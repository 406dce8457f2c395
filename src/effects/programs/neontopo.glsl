// Neon Terrain: a contour map of a slowly drifting height field, with neon
// contour lines, a wandering lime band and flooded lakes with glowing shores.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float density = u.bgColor.a;
    float lakeLevel = u.accentColor.a;

    vec2 q = 1.1 * p + vec2(0.020 * t, 0.012 * t);
    float h = fbm(q);
    float c = h * density;
    float w = fwidth(c) + 0.0001;
    float dc = abs(fract(c) - 0.5);
    float line = smoothstep(2.4 * w, 0.6 * w, dc);

    // A second, slightly offset sample gives the slope that shades the lines.
    float h2 = fbm(q + vec2(-0.014, 0.014));
    float shade = clamp(60.0 * (h2 - h), -1.0, 1.0);
    vec3 col = bg + (6.0 * bg + 0.10) * line * (0.55 + 0.5 * shade) + 1.6 * bg * (1.0 - line) * h;

    // The lime band: a thin level set of a second, faster drifting noise.
    float m = fbm(0.65 * p + 9.0 + vec2(0.07 * t, 0.13 * t));
    float band = smoothstep(0.555, 0.585, m) * (1.0 - smoothstep(0.615, 0.645, m));
    col += accent * line * band * 1.6 + accent * smoothstep(7.0 * w, 0.0, dc) * band * 0.22;

    // Everything below the lake level is flooded; the shore line glows.
    float hw = fwidth(h) + 0.0001;
    float lake = smoothstep(hw, -hw, h - lakeLevel);
    col = mix(col, 0.3 * bg, lake);
    col += accent * smoothstep(3.0 * hw, 0.0, abs(h - lakeLevel)) * 1.6;

    col = filmic(col * 1.25) * vig(v.uv, 0.30);
    return vec4(post(col, v.position.xy, u), 1.0);
}
