// Ridgelines: two mountain silhouettes, each drawn as a stack of glowing contour
// lines that follow its ridge; the front range hides the back one.

float ridgeProfile(float x, float seed, float t) {
    return fbm(vec2(0.55 * x + seed, seed + 0.030 * t));
}

// Anti-aliased line at every integer value of c, a pixel or two wide.
float aaLine(float c, float a, float b) {
    float w = fwidth(c) + 0.0001;
    return smoothstep(0.5 - a * w, 0.5 - b * w, abs(fract(c) - 0.5));
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float lines = u.bgColor.a;
    float height = u.accentColor.a;

    vec3 col = bg;
    for (int i = 0; i < 2; i++) {
        float l = float(i);
        float seed = 3.0 + 11.0 * l;
        float base = i == 0 ? 0.10 : -0.38;
        float amp = (i == 0 ? 1.0 : 0.65) * height;
        float R = base + (ridgeProfile(p.x, seed, t) - 0.5) * amp;
        float d = R - p.y;  // depth below the ridge
        float fw = fwidth(d) + 0.0001;
        float mask = smoothstep(fw, -fw, -d);
        if (i == 1) {
            col = mix(col, bg, mask);
        }
        // The contour spacing tightens with depth. Far above the ridge (d near
        // -1/1.1, reachable when zoomed out) the divisor would reach zero; the
        // mask is 0 there, so holding the divisor at 0.45 changes no pixel and
        // keeps inf * 0 from turning into NaN.
        float c = lines * d / (1.0 + 1.1 * max(d, -0.5))
            + 3.0 * fbm(vec2(1.3 * p.x + 2.0 * seed, 1.4 * d + seed));
        col = max(col, accent * aaLine(c, 1.5, 0.45) * mask * (0.55 + 0.5 * exp(-5.5 * d)));
    }

    col *= vig(v.uv, 0.12);
    return vec4(post(col, v.position.xy, u), 1.0);
}
