#pragma once
// The X11 loop test with GLX, the program library and its compile thread, as the
// application has them.

#include "platform/x11/x11_loop_fixture.h"  // first: gtest before any X11 header

#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/gl_compile_thread.h"
#include "platform/program_library.h"
#include "platform/x11/glx_context.h"

#include <memory>
#include <optional>

namespace tavel::test {

class GlxLoopTest : public X11LoopTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(X11LoopTest::SetUp());
        auto made = GlxContext::create(display(), connection->screen());
        ASSERT_TRUE(made) << made.why();
        gl = std::move(*made);
        compiler = GlCompileThread::start(gl->createShared(), log);
        ASSERT_TRUE(compiler);
        programs.emplace(loop, *compiler);
    }

    // Torn down in reverse: the programs, their thread, the context, then the connection.
    MemoryLogSink log;
    GlFrameRenderer renderer;
    std::unique_ptr<GlxContext> gl;
    std::unique_ptr<GlCompileThread> compiler;
    std::optional<ProgramLibrary> programs;
};

}  // namespace tavel::test
