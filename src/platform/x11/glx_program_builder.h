#pragma once
// Builds effect programs on a thread of their own, in a GLX context shared with the
// windows' context (see ThreadProgramBuilder).

#include "effects/log_sink.h"
#include "platform/thread_program_builder.h"
#include "platform/x11/glx_context.h"

#include <memory>

namespace tavel {

class GlxProgramBuilder final : public ThreadProgramBuilder {
public:
    // Main thread. Nothing when no context shared with `context` can be made. Failures of
    // the thread itself go to `log`.
    static std::unique_ptr<GlxProgramBuilder> create(GlxContext& context, LogSink& log);

private:
    using ThreadProgramBuilder::ThreadProgramBuilder;
};

}  // namespace tavel
