// Horizon: a perspective floor grid scrolling toward the viewer below a horizon
// at 42% of the height, two ranges of faceted wireframe mountains beyond it (the
// tall range behind, the low range in front) and a bright horizon line.

// Piecewise-linear noise along x: straight segments between hashed heights.
float hzPl(float x, float seed) {
    float i = floor(x);
    return mix(hash21(vec2(i, seed)), hash21(vec2(i + 1.0, seed)), fract(x));
}

// Anti-aliased line at every integer value of c, a pixel or two wide.
float aaLine(float c, float a, float b) {
    float w = fwidth(c) + 0.0001;
    return smoothstep(0.5 - a * w, 0.5 - b * w, abs(fract(c) - 0.5));
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float y = v.uv.y;
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float grid = u.bgColor.a;
    float peaks = u.accentColor.a;

    // Floor: depth grows toward the horizon; the floor keeps a tiny minimum
    // distance below it so the depth stays finite on and above the horizon.
    float yv = max(0.42 - y, 0.003);
    float z = 0.55 / yv;
    vec2 fp = vec2(p.x * z, z + 0.35 * t);
    vec2 g = 0.45 * grid * fp;
    vec2 gw = fwidth(g) + 0.0001;
    // Fade with distance and where the cells shrink below a pixel (moire).
    float fade = exp(-0.12 * z) * smoothstep(0.9, 0.35, gw.x + gw.y);
    float below = smoothstep(0.0, 0.006, 0.42 - y);
    vec3 col = bg + accent * max(aaLine(g.x, 1.5, 0.45), aaLine(g.y, 1.5, 0.45)) * fade * below * 0.95
        + accent * fade * below * 0.04;

    float above = smoothstep(-0.001, 0.002, y - 0.42);
    for (int i = 0; i < 2; i++) {
        float l = float(i);
        float seed = 11.0 + 7.0 * l;
        float freq = 2.2 + 1.6 * l;
        float amp = peaks * (1.0 - 0.42 * l);
        float x = p.x * freq + 3.3 * l + 0.005 * t * (1.0 + l);
        float r = 0.42 + amp * (0.12 + 0.88 * hzPl(x, seed));
        float d = r - y;
        float fwr = fwidth(d) + 0.0001;
        float inside = smoothstep(fwr, -fwr, -d) * above;
        // The range's body hides whatever lies behind it.
        col = mix(col, bg, inside);
        float ridge = smoothstep(1.8 * fwr, 0.5 * fwr, abs(d)) * above;
        float xs = x + d * (hzPl(x + 17.0, seed + 4.0) - 0.5) * 1.6;
        float crease = aaLine(xs, 1.6, 0.5);
        float shimmer = 0.85 + 0.15 * sin(0.30 * t + 2.1 * l);
        col += accent * ridge * (0.75 - 0.25 * l) * shimmer
            + accent * crease * inside * exp(-9.0 * d) * (0.40 - 0.15 * l) * shimmer;
    }

    col += accent * smoothstep(0.0035, 0.0, abs(y - 0.42)) * 0.55;

    col *= vig(v.uv, 0.18);
    return vec4(post(col, v.position.xy, u), 1.0);
}
