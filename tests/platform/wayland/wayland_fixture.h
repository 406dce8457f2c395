#pragma once
// A connection to the test program's headless sway, with what windows draw with.

#include <gtest/gtest.h>

#include "effects/gl_frame_renderer.h"
#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/program_library.h"
#include "platform/wayland/egl_context.h"
#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_render_services.h"
#include "support/run_until.h"
#include "support/sway_server.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

class WaylandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(connectTo(sway)); }

    // Connects everything anew to `server` (another sway than the shared one).
    void connectTo(const SwayServer& server) {
        services.reset();
        programs.reset();
        compiler.reset();
        gl.reset();
        connection.reset();
        std::string saved = std::getenv("WAYLAND_DISPLAY");
        setenv("WAYLAND_DISPLAY", server.socket().c_str(), 1);
        connection = WaylandConnection::open(loop.context(), log);
        setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
        ASSERT_NE(connection, nullptr) << "cannot connect to the test compositor\n" << server.log();
        auto made = EglContext::create(connection->display());
        ASSERT_TRUE(made) << made.why();
        gl = std::move(*made);
        compiler = GlCompileThread::start(gl->createShared(), log);
        ASSERT_TRUE(compiler);
        programs.emplace(loop, *compiler);
        services.emplace(WaylandRenderServices{*connection, *gl, *programs, renderer, loop, log});
    }

    // Waits for `count` more frames of `view`.
    bool framesPass(ShaderView& view, std::uint64_t count) {
        std::uint64_t target = view.framesDrawn() + count;
        return runUntil(loop, [&] { return view.framesDrawn() >= target; });
    }

    // Every request sent so far is handled, and so is every task its events posted.
    bool settle() {
        if (!connection->roundtrip()) return false;
        bool ran = false;
        loop.post([&] { ran = true; });
        return runUntil(loop, [&] { return ran; });
    }

    // Another program's fullscreen window: a nested sway, whose output is a host window.
    std::unique_ptr<SwayServer> fullscreenCover() {
        auto nested = std::make_unique<SwayServer>(std::vector<std::string>{}, &sway);
        const bool made = runUntil(loop, [&] {
            return sway.run({"swaymsg", "[title=\"wlroots - WL-1\"]", "fullscreen", "enable"}) == 0;
        });
        EXPECT_TRUE(made) << sway.log();
        return nested;
    }

    // Torn down in reverse: a test's windows, the programs, context, connection, loop last.
    SwayServer& sway = sharedSway();  // first: it sets $WAYLAND_DISPLAY
    AsioScheduler loop;
    MemoryLogSink log;
    std::unique_ptr<WaylandConnection> connection;
    GlFrameRenderer renderer;
    std::unique_ptr<EglContext> gl;
    std::unique_ptr<GlCompileThread> compiler;
    std::optional<ProgramLibrary> programs;
    std::optional<WaylandRenderServices> services;
};

}  // namespace tavel::test
