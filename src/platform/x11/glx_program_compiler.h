#pragma once
// Compiles effect programs on a background thread, in a GLX context shared with the
// windows' context, so the main thread never waits for the driver.
//
// Each program is compiled, linked and drawn once into a 1x1 target there (drivers
// finish compiling at the first draw), then handed to the main thread through the
// Scheduler. Programs live in the share group, so the windows' context draws them.

#include "effects/log_sink.h"
#include "effects/shader_view.h"
#include "platform/scheduler.h"
#include "platform/x11/glx_context.h"

#include <memory>

namespace tavel {

class SerialExecutor;

class GlxProgramCompiler final : public ProgramCompiler {
public:
    // Main thread. Nothing when no context shared with `context` can be made. Results
    // are delivered through `scheduler`; failures of the thread itself go to `log`.
    static std::unique_ptr<GlxProgramCompiler> create(GlxContext& context, Scheduler& scheduler,
                                                      LogSink& log);
    // Main thread. Waits for a compile already running; compiles still queued are
    // dropped, and results not yet delivered are never delivered.
    ~GlxProgramCompiler() override;
    GlxProgramCompiler(const GlxProgramCompiler&) = delete;
    GlxProgramCompiler& operator=(const GlxProgramCompiler&) = delete;

    // Main thread. `done` runs on the main thread, while this compiler exists.
    void compile(const ShaderEffect& effect, std::function<void(Outcome)> done) override;
    // Main thread. The program is deleted on the compile thread (same share group), so
    // the caller needs no context of its own.
    void release(unsigned program) override;

private:
    struct Worker;
    GlxProgramCompiler(Scheduler& scheduler, std::unique_ptr<GlxSharedContext> shared,
                       LogSink& log);

    Scheduler& scheduler_;
    std::unique_ptr<GlxSharedContext> shared_;
    std::unique_ptr<Worker> worker_;  // used on the compile thread only
    // Results posted to the main thread run only while this lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<SerialExecutor> thread_;  // last: joined before the members above go
};

}  // namespace tavel
