// Deep Grid: a rectangular tunnel of grid lines seen head-on, its walls scrolling
// toward the viewer, closed by a back wall at depth DEPTH.

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
    float grid = u.bgColor.a;
    float backDepth = u.accentColor.a;

    // Depth at which the view ray meets the side walls (|x| = 0.66) and the
    // floor/ceiling (|y| = 0.46); held finite on the centre lines.
    float tx = 0.66 / max(abs(p.x), 0.0001);
    float ty = 0.46 / max(abs(p.y), 0.0001);
    float depth = min(tx, ty);
    float scroll = 0.55 * t;

    float c1;
    float c2;
    float fade;
    if (depth < backDepth) {
        // Side wall: rings along the tunnel, rails along its length.
        c1 = 1.8 * depth + scroll;
        c2 = (tx < ty ? p.y * depth : p.x * depth) * grid;
        fade = exp(-0.22 * (depth - 1.0));
    } else {
        c1 = p.x * backDepth * grid;
        c2 = p.y * backDepth * grid;
        fade = 1.15 * exp(-0.22 * (backDepth - 1.0));
    }

    // The lines are evaluated outside the branch, where derivatives are defined.
    vec3 col = bg + accent * max(aaLine(c1, 1.4, 0.4), aaLine(c2, 1.4, 0.4)) * fade * 0.85
        + accent * smoothstep(0.015, 0.0, abs(tx - ty) / (tx + ty)) * fade * 0.35;  // corner seams

    col *= vig(v.uv, 0.18);
    return vec4(post(col, v.position.xy, u), 1.0);
}
