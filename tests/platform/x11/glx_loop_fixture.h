#pragma once
// A real GLX context on the test program's Xvfb, with the program library and its
// compile thread, as the application sets them up for its windows.

#include "platform/x11/x11_loop_fixture.h"  // first: see there

#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/program_library.h"
#include "platform/x11/glx_context.h"

#include <memory>
#include <optional>
#include <string>

namespace tavel::test {

class GlxLoopTest : public X11LoopTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(X11LoopTest::SetUp());
        std::string why;
        gl = GlxContext::create(display(), connection->screen(), &why);
        ASSERT_TRUE(gl) << why;
        compiler = GlCompileThread::start(gl->createShared(), log);
        ASSERT_TRUE(compiler);
        programs.emplace(loop, *compiler);
    }

    // Declaration order is teardown order reversed: what a test made goes first, then
    // the programs, the context and the connection, the loop last.
    MemoryLogSink log;
    GlFrameRenderer renderer;
    std::unique_ptr<GlxContext> gl;
    std::unique_ptr<GlCompileThread> compiler;
    std::optional<ProgramLibrary> programs;
};

}  // namespace tavel::test
