#pragma once
// Builds effect programs on a thread of their own, in a context shared with the windows'
// context, so the main thread never waits for the driver (see ShareGroupCompiler for what
// each build does). Programs live in the share group, so the windows' context draws them;
// they are deleted only when the builder ends, after every view is gone. Each window
// system's builder (GLX, EGL) is this with its own kind of shared context.

#include "effects/log_sink.h"
#include "platform/compile_context.h"
#include "platform/program_library.h"

#include <memory>

namespace tavel {

class SerialExecutor;
class ShareGroupCompiler;

class ThreadProgramBuilder : public ProgramBuilder {
public:
    // Main thread, after every user of its programs (views, the library) is gone: waits
    // for a build already running, deletes the programs and joins the thread.
    ~ThreadProgramBuilder() override;
    ThreadProgramBuilder(const ThreadProgramBuilder&) = delete;
    ThreadProgramBuilder& operator=(const ThreadProgramBuilder&) = delete;

    // The compile thread, for the library's jobs.
    Executor& thread();

    // Compile thread only.
    ProgramCompiler::Outcome build(const ShaderEffect& effect) override;

protected:
    // Main thread. `context` is bound on the new thread at once; failures of the thread
    // itself go to `log`.
    ThreadProgramBuilder(std::unique_ptr<CompileContext> context, LogSink& log);

private:
    std::unique_ptr<CompileContext> context_;
    std::unique_ptr<ShareGroupCompiler> compiler_;  // used on the compile thread only
    std::unique_ptr<SerialExecutor> thread_;        // last: joined before the members above go
};

}  // namespace tavel
