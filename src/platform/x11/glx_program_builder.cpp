#include <epoxy/gl.h>

#include "platform/x11/glx_program_builder.h"

#include "effects/shader_program.h"
#include "effects/uniforms.h"
#include "platform/asio/thread_executors.h"

#include <variant>

namespace tavel {

// The compile thread's own state: its context's binding, the objects the warm-up draw
// needs (vertex arrays and framebuffers are not shared between contexts) and the
// programs it made.
struct GlxProgramBuilder::Worker {
    GlxSharedContext& context;
    bool bound = false;
    GLuint vertexArray = 0;
    GLuint uniformBuffer = 0;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    std::vector<GLuint> programs;

    explicit Worker(GlxSharedContext& c) : context(c) {}

    void begin() {
        bound = context.makeCurrent();
        if (!bound) return;
        glGenVertexArrays(1, &vertexArray);
        glGenBuffers(1, &uniformBuffer);
        Uniforms u;
        u.resolution = {1.0f, 1.0f};
        glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer);
        glBufferData(GL_UNIFORM_BUFFER, sizeof u, &u, GL_STATIC_DRAW);
        glBindBuffer(GL_UNIFORM_BUFFER, 0);
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1, 1);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glViewport(0, 0, 1, 1);
    }

    void end() {
        if (!bound) return;
        for (GLuint program : programs) glDeleteProgram(program);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
        glDeleteBuffers(1, &uniformBuffer);
        glDeleteVertexArrays(1, &vertexArray);
        glFinish();
        context.release();
        bound = false;
    }

    ProgramCompiler::Outcome build(const ShaderEffect& effect) {
        ProgramCompiler::Outcome outcome;
        if (!bound) {
            outcome.error = "no OpenGL context for compiling";
            return outcome;
        }
        auto result = compileProgram(effect);
        if (auto* error = std::get_if<std::string>(&result)) {
            outcome.error = *error;
            return outcome;
        }
        const CompiledProgram& program = std::get<CompiledProgram>(result);
        programs.push_back(program.program);
        // The first draw is where the driver finishes the compile: do it here, not in
        // the main thread's first frame.
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        drawProgram(program, vertexArray, uniformBuffer, false);
        glUseProgram(0);
        // Finished before another context of the share group uses it.
        glFinish();
        outcome.program = program.program;
        outcome.topRowFirstLocation = program.topRowFirstLocation;
        return outcome;
    }
};

std::unique_ptr<GlxProgramBuilder> GlxProgramBuilder::create(GlxContext& context, LogSink& log) {
    std::unique_ptr<GlxSharedContext> shared = context.createShared();
    if (!shared) return nullptr;
    return std::unique_ptr<GlxProgramBuilder>(new GlxProgramBuilder(std::move(shared), log));
}

GlxProgramBuilder::GlxProgramBuilder(std::unique_ptr<GlxSharedContext> shared, LogSink& log)
    : shared_(std::move(shared)),
      worker_(std::make_unique<Worker>(*shared_)),
      thread_(std::make_unique<SerialExecutor>("tavel.compile", log)) {
    thread_->submit([worker = worker_.get()] { worker->begin(); });
}

GlxProgramBuilder::~GlxProgramBuilder() {
    thread_->submit([worker = worker_.get()] { worker->end(); });
    thread_.reset();  // joins once the compile thread has unbound its context
}

Executor& GlxProgramBuilder::thread() {
    return *thread_;
}

ProgramCompiler::Outcome GlxProgramBuilder::build(const ShaderEffect& effect) {
    return worker_->build(effect);
}

}  // namespace tavel
