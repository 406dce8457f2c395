#include "platform/wayland/egl_program_builder.h"

#include "effects/share_group_compiler.h"
#include "platform/asio/thread_executors.h"

namespace tavel {

// The compile thread's own state: its context's binding and what it compiles with.
struct EglProgramBuilder::Worker {
    EglSharedContext& context;
    ShareGroupCompiler compiler;

    explicit Worker(EglSharedContext& c) : context(c) {}

    void begin() { compiler.begin(context.makeCurrent()); }

    void end() {
        compiler.end();
        context.release();
    }
};

std::unique_ptr<EglProgramBuilder> EglProgramBuilder::create(EglContext& context, LogSink& log) {
    std::unique_ptr<EglSharedContext> shared = context.createShared();
    if (!shared) return nullptr;
    return std::unique_ptr<EglProgramBuilder>(new EglProgramBuilder(std::move(shared), log));
}

EglProgramBuilder::EglProgramBuilder(std::unique_ptr<EglSharedContext> shared, LogSink& log)
    : shared_(std::move(shared)),
      worker_(std::make_unique<Worker>(*shared_)),
      thread_(std::make_unique<SerialExecutor>("tavel.compile", log)) {
    thread_->submit([worker = worker_.get()] { worker->begin(); });
}

EglProgramBuilder::~EglProgramBuilder() {
    thread_->submit([worker = worker_.get()] { worker->end(); });
    thread_.reset();  // joins once the compile thread has unbound its context
}

Executor& EglProgramBuilder::thread() {
    return *thread_;
}

ProgramCompiler::Outcome EglProgramBuilder::build(const ShaderEffect& effect) {
    return worker_->compiler.build(effect);
}

}  // namespace tavel
