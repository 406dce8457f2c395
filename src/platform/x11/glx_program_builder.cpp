#include "platform/x11/glx_program_builder.h"

#include "effects/share_group_compiler.h"
#include "platform/asio/thread_executors.h"

namespace tavel {

// The compile thread's own state: its context's binding and what it compiles with.
struct GlxProgramBuilder::Worker {
    GlxSharedContext& context;
    ShareGroupCompiler compiler;

    explicit Worker(GlxSharedContext& c) : context(c) {}

    void begin() { compiler.begin(context.makeCurrent()); }

    void end() {
        compiler.end();
        context.release();
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
    return worker_->compiler.build(effect);
}

}  // namespace tavel
