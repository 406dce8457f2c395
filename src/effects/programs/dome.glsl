// Obsidian Dome: a tiled dome seen from above through a breathing, slowly
// turning lens; shadow arms wheel across it, a light orbits and the tile
// corners sparkle.

// atan(y, x) that is defined at the origin (where it returns 0).
float domeAngle(vec2 d) {
    return (d.x == 0.0 && d.y == 0.0) ? 0.0 : atan(d.y, d.x);
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float tiles = u.bgColor.a;
    float bulgeAmount = u.accentColor.a;

    float r = length(p) * (1.0 + 0.06 * sin(0.35 * t));
    float a = domeAngle(p) + 0.02 * t;
    float bulge = bulgeAmount * (1.0 + 0.18 * sin(0.45 * t + 1.0));
    // The tile scale grows toward the rim, so tiles crowd together there as on
    // a dome seen from above.
    vec2 q = p * (0.40 + bulge * smoothstep(0.0, 0.95, r)) * tiles;
    vec2 cell = floor(q);
    vec2 f = fract(q) - 0.5;

    // Shadow arms: |cos 2a| lights four sectors and darkens four between them.
    float b = smoothstep(0.10, 0.80, r) * (0.18 + 0.82 * pow(abs(cos(2.0 * a + 0.18 * t)), 0.9)) +
              0.015;
    // The offset alone can cancel p at one point: normalize there would divide
    // by zero, so the length is held off zero (the tile then faces no way).
    vec2 radial = p + 0.0001;
    radial *= inversesqrt(max(dot(radial, radial), 1e-20));
    float face = (0.35 + 0.65 * clamp(dot(f, radial) + 0.5, 0.0, 1.0)) *
                 (0.86 + 0.14 * sin(1.3 * t + 6.2831 * hash21(cell)));
    float e = 0.5 - max(abs(f.x), abs(f.y));
    float bevel = smoothstep(0.12, 0.0, e);

    vec3 col = bg + accent * b * face * 0.45 + 1.3 * accent * bevel * b * 0.45;
    float glint = pow(max(cos(a - 0.5 * t), 0.0), 10.0);
    col += accent * glint * b * (0.35 + 0.5 * bevel);
    col *= 1.0 - 0.85 * smoothstep(0.020, 0.004, e);

    // Sparkle where four tiles meet.
    float cd = length(vec2(0.5) - abs(f));
    col += vec3(0.9 * exp(-55.0 * cd * cd) * b * 0.5 *
                (0.6 + 0.4 * sin(2.0 * t + 6.2831 * hash21(cell + 7.0))));

    col = filmic(col * 1.2);
    return vec4(post(col, v.position.xy, u), 1.0);
}
