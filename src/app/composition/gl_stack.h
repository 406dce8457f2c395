#pragma once
// A window system's GL context (GlxContext or EglContext) with its compile thread and
// program library. Members go in reverse order: the library before the thread, the
// thread before the context. Main thread only.

#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/program_library.h"

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

    // Takes `made` (null when it could not be made, for `reason`); `where` ends the
    // messages: "this display", "this compositor".
    bool open(std::unique_ptr<Context> made, const std::string& reason, const char* noGl,
              const char* where, AsioScheduler& loop, LogSink& log, std::string* why) {
        context = std::move(made);
        if (!context) {
            if (why) *why = std::string(noGl) + " on " + where + ": " + reason;
            return false;
        }
        compiler = GlCompileThread::start(context->createShared(), log);
        if (!compiler) {
            if (why) *why = std::string("cannot compile effects in the background on ") + where;
            return false;
        }
        programs.emplace(loop, *compiler);
        return true;
    }
};

}  // namespace tavel
