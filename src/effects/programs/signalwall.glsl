// Signal Wall: a wall of rounded LED cells that curves away toward the left
// edge; on active rows, pulses run along the row and stretch and brighten the
// cells they pass.

// Signed distance to a box of half sizes b whose corners are rounded with
// radius r (the rounding stays inside the half sizes).
float swRoundBox(vec2 q, vec2 b, float r) {
    vec2 d = abs(q) - b + r;
    return length(max(d, 0.0)) + min(max(d.x, d.y), 0.0) - r;
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float grid = u.bgColor.a;
    float signals = u.accentColor.a;

    // The wall bends on the left: its columns widen toward the edge.
    float bend = smoothstep(-0.25, -1.05, p.x);
    float xw = p.x + 0.35 * bend * bend;
    vec2 q = vec2(xw, p.y) * grid;
    vec2 cell = floor(q);
    vec2 f = fract(q) - 0.5;
    float aa = 0.7 * (fwidth(q.x) + fwidth(q.y)) + 0.001;

    // Per row: whether it carries signals (SIGNALS is the share of such rows),
    // which way and how fast they run.
    float rh = hash21(vec2(cell.y, 9.1));
    float rowActive = smoothstep(signals + 0.04, signals - 0.04, rh);
    float dir = fract(7.7 * rh) >= 0.5 ? 1.0 : -1.0;
    float rate = 0.35 + 0.65 * fract(13.3 * rh);
    float s = 1.4 * xw - 0.25 * t * dir * rate + 41.0 * rh;
    float e = rowActive * smoothstep(0.42, 0.88, vnoise(vec2(1.7 * s, 90.0 * rh))) *
              (0.30 + 0.70 * smoothstep(0.7, -0.7, p.x));

    // A passing pulse stretches the cell along the row.
    vec2 halfSize = vec2(mix(0.115, 0.47, clamp(1.35 * e, 0.0, 1.0)), mix(0.115, 0.24, e));
    float mask = smoothstep(aa, -aa, swRoundBox(f, halfSize, 0.07));

    vec3 col = bg;
    col += vec3(0.50, 0.53, 0.57) * mask *
           (0.045 + 0.03 * (0.6 + 0.4 * sin(0.7 * t + 6.2831 * hash21(cell))));
    vec3 signal = fract(5.3 * rh) >= 0.55 ? hueRotate(accent, 150.0) : accent;
    col += signal * mask * e * 1.35 + mix(signal, vec3(0.95), 0.5) * mask * e * e * e * 0.7;

    col *= vig(v.uv, 0.30);
    return vec4(post(col, v.position.xy, u), 1.0);
}
