// Nebula Mesh: a wireframe terrain rolling toward the viewer below a horizon at
// y = 0.60, under a sky of nebula haze and twinkling stars.

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
    float relief = u.bgColor.a;
    float density = u.accentColor.a;

    vec3 col = 0.55 * bg;
    float sky = smoothstep(0.60, 0.65, y);

    float neb = fbm(1.3 * p + vec2(0.006 * t, 3.0));
    col += 2.4 * bg * smoothstep(0.42, 0.80, neb) * sky +
           0.10 * accent * smoothstep(0.55, 0.85, neb) * sky;

    // Two layers of stars, one per cell at most, placed off the cell centre.
    for (int i = 0; i < 2; i++) {
        float fi = float(i);
        vec2 sp = p * (60.0 + 90.0 * fi) + 13.1 * fi;
        vec2 cell = floor(sp);
        float h = hash21(cell + 31.0 * fi);
        float star = smoothstep(0.955, 0.995, h);
        float twinkle = 0.55 + 0.45 * sin(t * (0.5 + 2.0 * h) + 40.0 * h);
        vec2 centre = (hash22(cell) - 0.5) * 0.55;
        float disc = smoothstep(0.17, 0.02, length(fract(sp) - 0.5 - centre));
        col += vec3(0.85, 0.92, 0.95) * star * twinkle * disc * (0.9 - 0.45 * fi) * sky;
    }

    // Terrain: march the depth of the ground plane through the relief; yv is
    // held above zero at and above the horizon so the depth stays finite there.
    float yv = max(0.60 - y, 0.004);
    float z = 1.0 / yv;
    vec2 w = vec2(0.0);
    float height = 0.0;
    for (int i = 0; i < 3; i++) {
        w = vec2(0.9 * p.x * z, 0.5 * z + 0.22 * t);
        height = (fbm(0.30 * w) - 0.38) * relief;
        z = clamp((1.0 - height) / yv, 0.2, 80.0);
    }

    vec2 g = w * density;
    float lx = aaLine(g.x, 1.6, 0.5);
    float ly = aaLine(g.y, 1.6, 0.5);
    // The mesh dissolves where its cells shrink below the pixel size.
    vec2 gw = fwidth(g) + 0.0001;
    float fade = exp(-0.075 * z) * smoothstep(0.85, 0.30, gw.x + gw.y);
    float ridge = 0.40 + 0.60 * clamp(height / max(relief, 0.01) * 1.6 + 0.5, 0.0, 1.0);
    float ground = smoothstep(0.0, 0.010, 0.60 - y);

    col = mix(col, 0.4 * bg, ground) + accent * max(lx, ly) * fade * ridge * ground * 0.95 +
          accent * fade * ground * 0.05 + 0.12 * accent * exp(-16.0 * abs(y - 0.60));

    col = filmic(col * 1.2) * vig(v.uv, 0.18);
    return vec4(post(col, v.position.xy, u), 1.0);
}
