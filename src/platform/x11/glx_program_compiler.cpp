#include <epoxy/gl.h>

#include "platform/x11/glx_program_compiler.h"

#include "effects/shader_program.h"
#include "effects/uniforms.h"
#include "platform/asio/thread_executors.h"

#include <atomic>
#include <variant>

namespace tavel {

// The compile thread's own state: its context's binding and the objects the warm-up draw
// needs (vertex arrays and framebuffers are not shared between contexts).
struct GlxProgramCompiler::Worker {
    GlxSharedContext& context;
    bool bound = false;
    GLuint vertexArray = 0;
    GLuint uniformBuffer = 0;
    GLuint framebuffer = 0;
    GLuint colour = 0;
    std::atomic<bool> stopping{false};

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
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
        glDeleteBuffers(1, &uniformBuffer);
        glDeleteVertexArrays(1, &vertexArray);
        glFinish();
        context.release();
        bound = false;
    }

    Outcome compile(const ShaderEffect& effect) {
        Outcome outcome;
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

    void release(unsigned program) {
        if (!bound) return;
        glDeleteProgram(program);
        glFlush();
    }
};

std::unique_ptr<GlxProgramCompiler> GlxProgramCompiler::create(GlxContext& context,
                                                               Scheduler& scheduler, LogSink& log) {
    std::unique_ptr<GlxSharedContext> shared = context.createShared();
    if (!shared) return nullptr;
    return std::unique_ptr<GlxProgramCompiler>(
        new GlxProgramCompiler(scheduler, std::move(shared), log));
}

GlxProgramCompiler::GlxProgramCompiler(Scheduler& scheduler,
                                       std::unique_ptr<GlxSharedContext> shared, LogSink& log)
    : scheduler_(scheduler),
      shared_(std::move(shared)),
      worker_(std::make_unique<Worker>(*shared_)),
      thread_(std::make_unique<SerialExecutor>("tavel.compile", log)) {
    thread_->submit([worker = worker_.get()] { worker->begin(); });
}

GlxProgramCompiler::~GlxProgramCompiler() {
    worker_->stopping = true;
    thread_->submit([worker = worker_.get()] { worker->end(); });
    thread_.reset();  // joins once the compile thread has unbound its context
    alive_.reset();
}

void GlxProgramCompiler::compile(const ShaderEffect& effect, std::function<void(Outcome)> done) {
    thread_->submit([worker = worker_.get(), effect, done = std::move(done),
                     alive = std::weak_ptr<bool>(alive_), &scheduler = scheduler_]() mutable {
        if (worker->stopping) return;
        Outcome outcome = worker->compile(effect);
        scheduler.post([alive, done = std::move(done), outcome = std::move(outcome)] {
            if (alive.lock()) done(outcome);
        });
    });
}

void GlxProgramCompiler::release(unsigned program) {
    if (program == 0) return;
    thread_->submit([worker = worker_.get(), program] { worker->release(program); });
}

}  // namespace tavel
