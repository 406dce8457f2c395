#include "platform/gl_compile_thread.h"

#include "effects/share_group_compiler.h"
#include "platform/asio/thread_executors.h"

namespace tavel {

std::unique_ptr<GlCompileThread> GlCompileThread::start(std::unique_ptr<CompileContext> context,
                                                        LogSink& log) {
    if (!context) return nullptr;
    return std::make_unique<GlCompileThread>(std::move(context), log);
}

GlCompileThread::GlCompileThread(std::unique_ptr<CompileContext> context, LogSink& log)
    : context_(std::move(context)),
      compiler_(std::make_unique<ShareGroupCompiler>()),
      thread_(std::make_unique<SerialExecutor>("marlowen.liveicon", log)) {
    thread_->submit([context = context_.get(), compiler = compiler_.get()] {
        compiler->begin(context->makeCurrent());
    });
}

GlCompileThread::~GlCompileThread() {
    thread_->submit([context = context_.get(), compiler = compiler_.get()] {
        compiler->end();
        context->release();
    });
    thread_.reset();  // joins once the compile thread has unbound its context
}

Executor& GlCompileThread::executor() {
    return *thread_;
}

ProgramCompiler::Outcome GlCompileThread::build(const ShaderEffect& effect) {
    return compiler_->build(effect);
}

}  // namespace tavel
