// Wireframe: a triangulated mesh (square cells split by one diagonal) laid on a
// gently warped plane, with twinkling dots on every second vertex.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float density = u.bgColor.a;
    float warp = u.accentColor.a;

    // Two octaves of drifting noise bend the plane; WARP scales both.
    vec2 w = p
        + warp * vec2(vnoise(0.9 * p + vec2(0.10 * t, 0.0)) - 0.5,
                      vnoise(0.9 * p + vec2(7.2, -0.08 * t)) - 0.5)
        + 0.4 * warp * vec2(vnoise(1.8 * p + vec2(0.0, 0.06 * t)) - 0.5,
                            vnoise(1.8 * p + vec2(3.3, 0.07 * t)) - 0.5);

    vec2 wc = w * density;
    vec2 fw = fwidth(wc) + 0.00001;
    vec2 lxy = smoothstep(0.5 - 1.3 * fw, 0.5 - 0.3 * fw, abs(fract(wc) - 0.5));
    float fwd = fw.x + fw.y;
    float ld = 1.0 - smoothstep(0.0, 0.9 * fwd, abs(fract(wc.x) + fract(wc.y) - 1.0) - 0.35 * fwd);
    float mesh = max(max(lxy.x, lxy.y), 0.55 * ld);
    vec3 col = bg + accent * mesh * 0.42 * (0.40 + 0.60 * fbm(1.6 * w + 0.05 * t));

    // Vertex dots on the half-density lattice; the distance is measured in pixels
    // so the dots keep their size at any zoom or density.
    vec2 hc = wc / 2.0;
    float dpx = length(vec2(0.5) - abs(fract(hc) - 0.5)) / (length(fwidth(hc)) + 0.00001);
    float vh = hash21(floor(hc + 0.5));
    float twinkle = 0.55 + 0.45 * sin(t * (0.6 + 1.2 * vh) + 40.0 * vh);
    col += clamp(1.7 * accent, 0.0, 1.0) * (1.0 - smoothstep(0.6, 1.8, dpx))
        * (0.35 + 0.65 * twinkle) * (0.4 + 0.6 * step(0.35, vh));

    col *= vig(v.uv, 0.30);
    return vec4(post(col, v.position.xy, u), 1.0);
}
