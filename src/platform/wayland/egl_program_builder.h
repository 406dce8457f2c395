#pragma once
// Builds effect programs on a thread of their own, in an EGL context shared with the
// windows' context, so the main thread never waits for the driver (see
// ShareGroupCompiler for what each build does). Programs are deleted only when the
// builder ends, after every view is gone.

#include "effects/log_sink.h"
#include "platform/program_library.h"
#include "platform/wayland/egl_context.h"

#include <memory>

namespace tavel {

class SerialExecutor;

class EglProgramBuilder final : public ProgramBuilder {
public:
    // Main thread. Nothing when no context shared with `context` can be made. Failures of
    // the thread itself go to `log`.
    static std::unique_ptr<EglProgramBuilder> create(EglContext& context, LogSink& log);
    // Main thread, after every user of its programs (views, the library) is gone: waits
    // for a build already running, deletes the programs and joins the thread.
    ~EglProgramBuilder() override;
    EglProgramBuilder(const EglProgramBuilder&) = delete;
    EglProgramBuilder& operator=(const EglProgramBuilder&) = delete;

    // The compile thread, for the library's jobs.
    Executor& thread();

    // Compile thread only.
    ProgramCompiler::Outcome build(const ShaderEffect& effect) override;

private:
    struct Worker;
    EglProgramBuilder(std::unique_ptr<EglSharedContext> shared, LogSink& log);

    std::unique_ptr<EglSharedContext> shared_;
    std::unique_ptr<Worker> worker_;          // used on the compile thread only
    std::unique_ptr<SerialExecutor> thread_;  // last: joined before the members above go
};

}  // namespace tavel
