#include <epoxy/gl.h>

#include "effects/share_group_compiler.h"

#include "effects/shader_program.h"
#include "effects/uniforms.h"

#include <variant>

namespace tavel {

void ShareGroupCompiler::begin(bool contextCurrent) {
    bound_ = contextCurrent;
    if (!bound_) return;
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &uniformBuffer_);
    Uniforms u;
    u.resolution = {1.0f, 1.0f};
    glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer_);
    glBufferData(GL_UNIFORM_BUFFER, sizeof u, &u, GL_STATIC_DRAW);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1, 1);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    glViewport(0, 0, 1, 1);
}

void ShareGroupCompiler::end() {
    if (!bound_) return;
    for (GLuint program : programs_) glDeleteProgram(program);
    programs_.clear();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &colour_);
    glDeleteBuffers(1, &uniformBuffer_);
    glDeleteVertexArrays(1, &vertexArray_);
    glFinish();
    bound_ = false;
}

ProgramCompiler::Outcome ShareGroupCompiler::build(const ShaderEffect& effect) {
    ProgramCompiler::Outcome outcome;
    if (!bound_) {
        outcome.error = "no OpenGL context for compiling";
        return outcome;
    }
    auto result = compileProgram(effect);
    if (auto* error = std::get_if<std::string>(&result)) {
        outcome.error = *error;
        return outcome;
    }
    const CompiledProgram& program = std::get<CompiledProgram>(result);
    programs_.push_back(program.program);
    // The first draw is where the driver finishes the compile: do it here, not in the
    // main thread's first frame.
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    drawProgram(program, vertexArray_, uniformBuffer_, false);
    glUseProgram(0);
    // Finished before another context of the share group uses it.
    glFinish();
    outcome.program = program.program;
    outcome.topRowFirstLocation = program.topRowFirstLocation;
    return outcome;
}

}  // namespace tavel
