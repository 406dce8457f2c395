#pragma once
// The application's background GL thread: a context of the windows' share group, given by
// the window system's bundle, current on a thread of its own. Effect programs are built
// here (see ShareGroupCompiler), so the main thread never waits for the driver, and the
// live icons and stills render here with the same context. Programs live in the share
// group, so the windows' contexts draw them; they are deleted only when the thread ends,
// after every view is gone.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "platform/compile_context.h"

#include <memory>

namespace tavel {

class Executor;
class SerialExecutor;
class ShareGroupCompiler;

class GlCompileThread {
public:
    // Main thread. `context` is bound on the new thread at once; failures of the thread
    // itself go to `log`. Nothing without a context (none shared with the windows' could
    // be made).
    static std::unique_ptr<GlCompileThread> start(std::unique_ptr<CompileContext> context,
                                                  LogSink& log);
    GlCompileThread(std::unique_ptr<CompileContext> context, LogSink& log);
    // Main thread, after every user of its programs (views, the library) is gone: waits
    // for a build already running, deletes the programs and joins the thread.
    ~GlCompileThread();
    GlCompileThread(const GlCompileThread&) = delete;
    GlCompileThread& operator=(const GlCompileThread&) = delete;

    Executor& executor();
    // Compile thread only.
    ProgramCompiler::Outcome build(const ShaderEffect& effect);

private:
    std::unique_ptr<CompileContext> context_;
    std::unique_ptr<ShareGroupCompiler> compiler_;  // used on the compile thread only
    std::unique_ptr<SerialExecutor> thread_;        // last: joined before the members above go
};

}  // namespace tavel
