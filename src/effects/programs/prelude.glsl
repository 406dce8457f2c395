#version 330 core
// Shared by every effect program: the uniform block, the fragment's inputs, the
// helper library and the entry point that calls the effect's fragmentMain.

struct Uniforms {
    float time;        // seconds, already speed-scaled
    float zoom;        // uv multiplier (1/zoom slider)
    float intensity;   // brightness multiplier
    float hue;         // degrees
    vec2 resolution;   // drawable pixels
    vec2 pad;
    vec4 bgColor;      // rgb = background color, a = custom1
    vec4 accentColor;  // rgb = accent color, a = custom2
};

// std140, bound to uniform-buffer binding point 0 by the host; byte for byte the
// host's 64-byte Uniforms.
layout(std140) uniform TavelUniforms {
    Uniforms tavelU;
};

struct VSOut {
    vec4 position;  // pixel position in the target, origin at the top-left corner
    vec2 uv;        // 0..1 across the target, y grows upwards
};

// The vertex stage (vertexMain) lives in its own small text, since GLSL compiles
// each stage separately; it hands over uv and the row orientation below.
in vec2 tavelUV;
// 1 when the target's first row in memory is the picture's top row (offscreen
// targets read back top row first), 0 for window surfaces.
uniform float tavelTopRowFirst;

float hash21(vec2 p) {
    p = fract(p * vec2(123.34, 345.45));
    p += dot(p, p + 34.345);
    return fract(p.x * p.y);
}

vec2 hash22(vec2 p) {
    float n = sin(dot(p, vec2(41.0, 289.0)));
    return fract(vec2(262144.0, 32768.0) * n);
}

float vnoise(vec2 p) {
    vec2 i = floor(p);
    vec2 f = fract(p);
    f = f * f * (3.0 - 2.0 * f);
    float a = hash21(i);
    float b = hash21(i + vec2(1.0, 0.0));
    float c = hash21(i + vec2(0.0, 1.0));
    float d = hash21(i + vec2(1.0, 1.0));
    return mix(mix(a, b, f.x), mix(c, d, f.x), f.y);
}

float fbm(vec2 p) {
    float sum = 0.0;
    float amp = 0.5;
    for (int i = 0; i < 5; i++) {
        sum += amp * vnoise(p);
        p = vec2(0.8 * p.x + 0.6 * p.y, -0.6 * p.x + 0.8 * p.y) * 2.02;
        amp *= 0.5;
    }
    return sum;
}

float ridged(vec2 p) {
    float sum = 0.0;
    float amp = 0.55;
    for (int i = 0; i < 4; i++) {
        sum += amp * (1.0 - abs(2.0 * vnoise(p) - 1.0));
        p = vec2(0.8 * p.x + 0.6 * p.y, -0.6 * p.x + 0.8 * p.y) * 2.1;
        amp *= 0.5;
    }
    return sum;
}

// Maps (x, y) to (cos a x + sin a y, -sin a x + cos a y); columns are given first.
mat2 rot2(float a) {
    float c = cos(a);
    float s = sin(a);
    return mat2(c, -s, s, c);
}

// Rotation about the grey axis (Rodrigues' formula).
vec3 hueRotate(vec3 c, float deg) {
    float a = deg * 0.017453292;
    vec3 k = vec3(0.57735);
    float ca = cos(a);
    return c * ca + cross(k, c) * sin(a) + k * dot(k, c) * (1.0 - ca);
}

// Curve fit of the ACES filmic tone map.
vec3 filmic(vec3 x) {
    x = max(x, vec3(0.0));
    return clamp(x * (2.51 * x + 0.03) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

float vig(vec2 uv, float k) {
    vec2 q = uv - 0.5;
    return 1.0 - k * dot(q, q) * 2.2;
}

vec2 aspectUV(vec2 uv, Uniforms u) {
    return (uv - 0.5) * vec2(u.resolution.x / max(u.resolution.y, 1.0), 1.0) * u.zoom;
}

vec3 post(vec3 col, vec2 px, Uniforms u) {
    col = hueRotate(col, u.hue);
    col *= u.intensity;
    // Dither, new every frame: breaks up banding in the dark gradients.
    col += (hash21(px + fract(u.time) * 100.0) - 0.5) * (1.8 / 255.0);
    return clamp(col, 0.0, 1.0);
}

vec4 fragmentMain(VSOut v, Uniforms u);

out vec4 tavelFragColor;

void main() {
    VSOut v;
    float y = tavelTopRowFirst > 0.5 ? gl_FragCoord.y : tavelU.resolution.y - gl_FragCoord.y;
    v.position = vec4(gl_FragCoord.x, y, gl_FragCoord.zw);
    v.uv = tavelUV;
    tavelFragColor = fragmentMain(v, tavelU);
}
