#pragma once
// Builds effect programs on a thread of their own, in a GLX context shared with the
// windows' context, so the main thread never waits for the driver.
//
// Each program is compiled, linked and drawn once into a 1x1 target there (drivers
// finish compiling at the first draw) and finished (glFinish) before the main thread
// sees it. Programs live in the share group, so the windows' context draws them; they
// are deleted only when the builder ends, after every view is gone.

#include "effects/log_sink.h"
#include "platform/program_library.h"
#include "platform/x11/glx_context.h"

#include <memory>
#include <vector>

namespace tavel {

class SerialExecutor;

class GlxProgramBuilder final : public ProgramBuilder {
public:
    // Main thread. Nothing when no context shared with `context` can be made. Failures of
    // the thread itself go to `log`.
    static std::unique_ptr<GlxProgramBuilder> create(GlxContext& context, LogSink& log);
    // Main thread, after every user of its programs (views, the library) is gone: waits
    // for a build already running, deletes the programs and joins the thread.
    ~GlxProgramBuilder() override;
    GlxProgramBuilder(const GlxProgramBuilder&) = delete;
    GlxProgramBuilder& operator=(const GlxProgramBuilder&) = delete;

    // The compile thread, for the library's jobs.
    Executor& thread();

    // Compile thread only.
    ProgramCompiler::Outcome build(const ShaderEffect& effect) override;

private:
    struct Worker;
    GlxProgramBuilder(std::unique_ptr<GlxSharedContext> shared, LogSink& log);

    std::unique_ptr<GlxSharedContext> shared_;
    std::unique_ptr<Worker> worker_;          // used on the compile thread only
    std::unique_ptr<SerialExecutor> thread_;  // last: joined before the members above go
};

}  // namespace tavel
