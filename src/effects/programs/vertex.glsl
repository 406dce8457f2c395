#version 330 core
// The vertex stage shared by every effect: one triangle that covers the whole
// target, made from gl_VertexID alone (no vertex buffers).

out vec2 tavelUV;
uniform float tavelTopRowFirst;

void vertexMain() {
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    tavelUV = corner * 0.5 + 0.5;
    // Offscreen targets are read back top row first: draw them upside down so
    // that GL's first row is the picture's top row.
    float flip = tavelTopRowFirst > 0.5 ? -1.0 : 1.0;
    gl_Position = vec4(corner.x, corner.y * flip, 0.0, 1.0);
}

void main() {
    vertexMain();
}
