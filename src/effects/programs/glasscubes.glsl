// Glass Cubes: two layers of an isometric lattice of stacked cubes, a dim
// distant layer behind a bright one, in which drifting clusters of cubes light
// up and pulse.

// Hexagonal tiling: xy = offset from the nearest hexagon centre, zw = that
// centre's identifier.
vec4 gcHex(vec2 p) {
    vec2 s = vec2(1.0, 1.7320508);
    vec2 A = floor(p / s) + 0.5;
    vec2 B = floor((p - vec2(0.5, 1.0)) / s) + 0.5;
    vec2 hA = p - A * s;
    vec2 hB = p - (B + 0.5) * s;
    return dot(hA, hA) < dot(hB, hB) ? vec4(hA, A) : vec4(hB, B + 0.5);
}

// Distance from q to the segment from the origin to b (b is never zero here).
float gcSeg(vec2 q, vec2 b) {
    float h = clamp(dot(q, b) / dot(b, b), 0.0, 1.0);
    return length(q - b * h);
}

// Distance to a cube's outline: the hexagon's border and the three spokes from
// its centre to alternate corners.
float gcEdge(vec2 q) {
    vec2 aq = abs(q);
    float d = abs(max(aq.x, dot(aq, vec2(0.5, 0.8660254))) - 0.5);
    d = min(d, gcSeg(q, vec2(0.0, 0.57735)));
    d = min(d, gcSeg(q, vec2(-0.5, -0.288675)));
    d = min(d, gcSeg(q, vec2(0.5, -0.288675)));
    return d;
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float cubes = u.bgColor.a;
    float lit = u.accentColor.a;

    vec3 col = bg;
    // Layer 0 is the far one: smaller cubes, slower drift, dimmer.
    for (int i = 0; i < 2; i++) {
        float l = float(i);
        float scale = cubes * (i == 0 ? 1.55 : 1.0);
        vec2 q = p * scale + vec2(3.7 * l + t * (i == 0 ? 0.014 : 0.008), 1.3 * l);
        vec4 hex = gcHex(q);
        float d = gcEdge(hex.xy);
        float aa = 1.4 * fwidth(q.x) + 0.001;
        float line = smoothstep(0.022 + aa, 0.022 - aa, d);

        // Clusters of lit cubes drift through the lattice; LIT widens them.
        float cluster = fbm(0.13 * hex.zw + 5.0 * l + vec2(0.014 * t, -0.010 * t));
        float on = smoothstep(0.60 - 0.30 * lit, 0.72 - 0.22 * lit, cluster);
        float pulse = 0.72 + 0.28 * sin(0.6 * t + 6.2831 * hash21(hex.zw + 17.0 * l));

        float lineWeight = i == 0 ? 0.20 : 1.0;
        float glowWeight = i == 0 ? 0.04 : 0.18;
        col += accent * line * (0.02 + 0.98 * on) * pulse * lineWeight +
               accent * exp(-70.0 * d * d) * on * pulse * glowWeight;
    }

    col = filmic(col * 1.25);
    col *= vig(v.uv, 0.28);
    return vec4(post(col, v.position.xy, u), 1.0);
}
