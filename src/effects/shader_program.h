#pragma once
// How every renderer turns an effect into a GL program: prelude, one line feed, the
// effect's fragment part; the shared vertex stage; the uniform block on binding 0.
// Compiling needs a current GL 3.3 core context on the calling thread.

#include "effects/catalog.h"

#include <string>
#include <string_view>
#include <variant>

namespace tavel {

// The shared prelude (uniform block, helpers, entry point) and the vertex stage.
std::string_view shaderPrelude();
std::string_view vertexStageSource();

// A vertex stage for plain passes over a whole target: one covering triangle made from
// gl_VertexID alone (no vertex buffers).
inline constexpr const char* kCoveringTriangleVertex = R"(#version 330 core
void main() {
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

// The fragment-stage text of an effect.
std::string assembleProgram(const ShaderEffect& effect);

// Uniform-buffer binding point of the 64-byte Uniforms block.
inline constexpr unsigned kUniformsBinding = 0;

struct CompiledProgram {
    unsigned program = 0;          // linked GL program; the caller owns it
    int topRowFirstLocation = -1;  // location of the row-orientation uniform
};

// Compiles and links a program from the texts of its two stages; on failure returns the
// driver's info log as the error text (and leaves no GL objects behind).
std::variant<unsigned, std::string> linkProgram(const std::string& vertexText,
                                                const std::string& fragmentText);

// Compiles and links an effect; on failure returns the driver's info log as the error
// text (and leaves no GL objects behind).
std::variant<CompiledProgram, std::string> compileProgram(const ShaderEffect& effect);

// Draws one frame with a linked program into the bound framebuffer: binds the program
// and the uniform buffer (already holding the block) and draws the covering triangle
// from an empty vertex array.
void drawProgram(const CompiledProgram& program, unsigned vertexArray, unsigned uniformBuffer,
                 bool topRowFirst);

}  // namespace tavel
