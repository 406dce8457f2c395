// Orbit: thin concentric rings around a point just above the centre, each broken
// into noise-shaped dashes that turn slowly (neighbouring rings may turn in
// opposite directions), with a small dot at the centre.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float rings = u.bgColor.a;
    float coverage = u.accentColor.a;

    vec2 q = p - vec2(0.0, 0.06);
    float R = length(q) * rings;
    float ring = floor(R + 0.5);
    // Derivatives are taken before branching so that they stay defined.
    float fw = fwidth(R) + 0.00001;
    float ringLine = smoothstep(1.6 * fw, 0.4 * fw, abs(R - ring));

    vec3 col;
    if (ring >= 1.0) {
        // From the first ring outwards |q| >= 0.5 / RINGS > 0, so the angle is
        // only taken where it is defined (never atan(0, 0) at the centre).
        float angle = atan(q.y, q.x);
        float h = hash21(vec2(ring, 4.7));
        float dir = fract(7.7 * h) >= 0.5 ? 1.0 : -1.0;
        float turn = t * dir * (0.015 + 0.045 * h);
        float a = angle + turn;
        float n = vnoise(1.6 * vec2(cos(a), sin(a)) * (0.42 * ring + 0.8) + 31.0 * h);
        // The innermost rings stay mostly solid; COVERAGE applies further out.
        float threshold = mix(0.18, coverage, smoothstep(1.0, 9.0, ring));
        float dash = smoothstep(threshold - 0.015, threshold + 0.015, n);
        col = bg + accent * ringLine * dash * 0.85;
    } else {
        col = bg + accent * smoothstep(0.014, 0.010, length(q));
    }

    col *= vig(v.uv, 0.22);
    return vec4(post(col, v.position.xy, u), 1.0);
}
