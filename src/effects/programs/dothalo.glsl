// Dot Halo: a dot-matrix display of rings travelling outward from a point near
// the centre, lit from one side.

// atan(y, x) that is defined at the origin (where it returns 0).
float dhAngle(vec2 d) {
    return (d.x == 0.0 && d.y == 0.0) ? 0.0 : atan(d.y, d.x);
}

vec4 fragmentMain(VSOut v, Uniforms u) {
    vec2 p = aspectUV(v.uv, u);
    float t = u.time;
    vec3 bg = u.bgColor.rgb;
    vec3 accent = u.accentColor.rgb;
    float dots = u.bgColor.a;
    float rings = u.accentColor.a;

    vec2 q = p * dots;
    vec2 cell = floor(q);
    // Each dot shows the light at its own centre. A zero dot count would divide
    // by zero; held off it, the lattice just leaves the picture.
    vec2 cc = (cell + 0.5) / max(dots, 0.0001);
    vec2 rel = cc - vec2(0.06, 0.03);
    float r = length(rel);
    float a = dhAngle(rel);

    float ring = r * rings - 0.12 * t;
    // 3.1416 is a hair above pi, so the sine dips just below zero at the end of
    // each ring; pow() needs a base of zero or more.
    float shade = pow(max(sin(3.1416 * fract(ring)), 0.0), 1.6);
    float highlight = 0.5 + 0.5 * cos(a - 2.3);
    float lum = shade * (0.22 + 0.78 * highlight) * smoothstep(1.35, 0.35, r);

    vec3 dotColor = mix(bg, accent, smoothstep(0.05, 0.5, lum));
    dotColor = mix(dotColor, clamp(2.5 * accent + 0.45, 0.0, 1.0), smoothstep(0.5, 0.95, lum));
    dotColor *= 0.9 + 0.1 * sin(0.8 * t + 6.2831 * hash21(cell));

    float dm = smoothstep(0.42, 0.42 - 1.5 * (fwidth(q.x) + 0.001), length(fract(q) - 0.5));
    // Unlit dots still show faintly against the background.
    vec3 col = 0.08 * bg + max(dotColor * dm, 0.35 * bg * dm);

    col = filmic(col * 1.15);
    col *= vig(v.uv, 0.25);
    return vec4(post(col, v.position.xy, u), 1.0);
}
