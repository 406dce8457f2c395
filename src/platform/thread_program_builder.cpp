#include "platform/thread_program_builder.h"

#include "effects/share_group_compiler.h"
#include "platform/asio/thread_executors.h"

namespace tavel {

ThreadProgramBuilder::ThreadProgramBuilder(std::unique_ptr<CompileContext> context, LogSink& log)
    : context_(std::move(context)),
      compiler_(std::make_unique<ShareGroupCompiler>()),
      // The application's background GL thread: effect programs are built here, and the
      // live icons and stills render here with the same context.
      thread_(std::make_unique<SerialExecutor>("marlowen.liveicon", log)) {
    thread_->submit([context = context_.get(), compiler = compiler_.get()] {
        compiler->begin(context->makeCurrent());
    });
}

ThreadProgramBuilder::~ThreadProgramBuilder() {
    thread_->submit([context = context_.get(), compiler = compiler_.get()] {
        compiler->end();
        context->release();
    });
    thread_.reset();  // joins once the compile thread has unbound its context
}

Executor& ThreadProgramBuilder::thread() {
    return *thread_;
}

ProgramCompiler::Outcome ThreadProgramBuilder::build(const ShaderEffect& effect) {
    return compiler_->build(effect);
}

}  // namespace tavel
