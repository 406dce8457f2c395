// Vortex: concentric rings of dots around a point just above the centre, twisted
// into a spiral; every ring turns slowly and the inner rings twist the most.

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float rings = u.bgColor.a;
    float swirl = u.accentColor.a;

    vec2 q = p - vec2(0.0, 0.02);
    float R = length(q) * rings;
    float ring = floor(R + 0.5);
    float fr = R - ring;
    // Derivatives are taken before branching so that they stay defined.
    float fw = fwidth(R) + 0.00001;

    vec3 col = bg;
    // Nothing inside the first ring. From the first ring outwards
    // |q| >= 0.5 / RINGS > 0, so the angle is never atan(0, 0).
    if (ring >= 1.0) {
        float angle = atan(q.y, q.x);
        float h = hash21(vec2(ring, 8.3));
        float dir = fract(5.1 * h) >= 0.3 ? 1.0 : -1.0;
        float twist = swirl * exp(-0.16 * ring) + t * dir * (0.020 + 0.030 * h);
        float count = max(6.0, floor(6.5 * ring));
        float s = (angle + twist) * 0.15915494 * count;
        // Floored modulo: the slot numbering stays seamless where the angle wraps.
        float slot = mod(floor(s), count);
        float hd = hash21(vec2(slot, 1.7 * ring));
        float tt = (fract(s) - 0.5) * 6.2831 * ring / count;
        float radius = (0.09 + 0.10 * fract(5.7 * hd)) * (0.55 + 0.035 * ring);
        float disc = smoothstep(radius, radius - 1.6 * fw, length(vec2(fr, tt)));
        disc *= step(0.14, fract(9.1 * hd));  // some slots stay empty
        float brightness = (0.30 + 0.65 * fract(3.3 * hd)) * (0.45 + 0.55 * smoothstep(2.0, 12.0, ring));
        col = bg + accent * disc * brightness;
    }

    col *= vig(v.uv, 0.20);
    return vec4(post(col, v.position.xy, u), 1.0);
}
