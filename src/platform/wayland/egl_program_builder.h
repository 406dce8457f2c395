#pragma once
// Builds effect programs on a thread of their own, in an EGL context shared with the
// windows' context (see ThreadProgramBuilder).

#include "effects/log_sink.h"
#include "platform/thread_program_builder.h"
#include "platform/wayland/egl_context.h"

#include <memory>

namespace tavel {

class EglProgramBuilder final : public ThreadProgramBuilder {
public:
    // Main thread. Nothing when no context shared with `context` can be made. Failures of
    // the thread itself go to `log`.
    static std::unique_ptr<EglProgramBuilder> create(EglContext& context, LogSink& log);

private:
    using ThreadProgramBuilder::ThreadProgramBuilder;
};

}  // namespace tavel
