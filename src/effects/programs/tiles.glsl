// Onyx Tiles: square tiles, each with its own slowly turning sheen, bevelled
// edges and dark grout.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float tiles = u.bgColor.a;
    float sheen = u.accentColor.a;

    vec2 q = p * tiles;
    vec2 cell = floor(q);
    vec2 f = fract(q) - 0.5;
    float h = hash21(cell);

    // Each tile's sheen turns at its own rate, half of them the other way round.
    float d = fract(3.3 * h) >= 0.5 ? 1.0 : -1.0;
    float angle = 6.2831 * h + t * (0.06 + 0.10 * fract(7.7 * h)) * d;
    float amp = (0.15 + 0.85 * smoothstep(0.15, 1.0, fract(9.3 * h))) *
                (0.55 + 0.45 * sin(0.25 * t + 40.0 * h));
    // The clamp keeps the base of pow() at zero or above.
    float g = clamp(dot(f, vec2(cos(angle), sin(angle))) + 0.55, 0.0, 1.1);
    vec3 col = bg + (0.020 + amp * sheen * pow(g, 2.4)) * accent;

    // Distance to the tile's border: a bright bevel, then the dark grout.
    float e = 0.5 - max(abs(f.x), abs(f.y));
    col += 0.8 * accent * smoothstep(0.045, 0.0, e) * (0.10 + 0.42 * amp);
    col *= 1.0 - 0.85 * smoothstep(0.010, 0.002, e);

    col = filmic(col * 1.2);
    col *= vig(v.uv, 0.30);
    return vec4(post(col, v.position.xy, u), 1.0);
}
