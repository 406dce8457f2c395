#pragma once
// A window system's GL context (GlxContext or EglContext) with its compile thread and
// program library. Members go in reverse order: the library before the thread, the
// thread before the context. Main thread only.

#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/program_library.h"
#include "platform/result.h"

#include <memory>
#include <optional>
#include <string>

namespace tavel {

template <class Context>
struct GlStack {
    std::unique_ptr<Context> context;
    std::unique_ptr<GlCompileThread> compiler;
    std::optional<ProgramLibrary> programs;
    GlFrameRenderer renderer;

    // Takes the context as made; `where` ends the messages: "this display", "this
    // compositor".
    Result<void> open(Result<std::unique_ptr<Context>> made, const char* noGl, const char* where,
                      AsioScheduler& loop, LogSink& log) {
        if (!made) return Failure{std::string(noGl) + " on " + where + ": " + made.why()};
        context = std::move(*made);
        compiler = GlCompileThread::start(context->createShared(), log);
        if (!compiler)
            return Failure{std::string("cannot compile effects in the background on ") + where};
        programs.emplace(loop, *compiler);
        return {};
    }
};

}  // namespace tavel
