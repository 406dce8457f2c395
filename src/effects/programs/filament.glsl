// Filament: a sheet of fine filaments fanning from a point far above the frame,
// lit along a curved fold that sags across the picture.

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
    float strandCount = u.bgColor.a;
    float foldHeight = u.accentColor.a;

    // The fold: a parabola placed by the fold height, swaying slowly.
    float xc = p.x + 0.18 + 0.08 * sin(0.09 * t);
    float yc = foldHeight + 0.40 * xc * xc + 0.02 * sin(0.16 * t + 2.2 * xc);
    float s = y - yc;

    // The fan's origin sits at y = 2.5, above any pixel (y <= 1), so -d.y > 0
    // and the angle is always defined.
    vec2 origin = vec2(-0.55 + 0.10 * sin(0.05 * t), 2.5);
    vec2 d = vec2(p.x, y) - origin;
    float angle = atan(d.x, -d.y);
    float bend = 0.012 * exp(-3.0 * abs(s)) * sin(3.0 * xc + 0.12 * t);

    // Two fans, the second slightly denser, for a moire shimmer.
    float ph = (angle + bend) * strandCount;
    float ph2 = (angle - bend) * strandCount * 1.035 + 0.35;
    float strands = max(aaLine(ph, 1.5, 0.45), 0.55 * aaLine(ph2, 1.5, 0.45)) *
                    (0.82 + 0.18 * sin(0.4 * t + 6.2831 * hash21(vec2(floor(ph), 3.7))));

    float body = 0.90 * exp(-3.2 * max(s, 0.0)) + 0.035;
    float below = smoothstep(-0.035, 0.012, s);
    float hot = exp(-30.0 * abs(s));
    float dx = xc - 0.05;
    float pool = 0.30 + 0.70 * exp(-1.5 * dx * dx);
    vec3 hotColor = mix(accent, vec3(1.0, 0.93, 0.82), 0.75);

    vec3 col = bg + accent * strands * body * below * pool * 0.80 +
               hotColor * strands * hot * pool * 1.25 + accent * hot * pool * 0.28 +
               accent * exp(-5.0 * abs(s)) * pool * 0.06;

    col = filmic(col * 1.15) * vig(v.uv, 0.20);
    return vec4(post(col, v.position.xy, u), 1.0);
}
