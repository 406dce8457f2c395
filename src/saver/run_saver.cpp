#include "saver/run_saver.h"

#include "effects/gl_frame_renderer.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/program_library.h"
#include "platform/render_budget.h"
#include "platform/render_load.h"
#include "platform/x11/glx_context.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_render_services.h"
#include "saver/halvane_saver.h"
#include "saver/halvane_window.h"
#include "saver/saver_selection.h"

#include <asio/signal_set.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

namespace tavel {

namespace {

// The size of halvane's own window, for previewing.
constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 360;

int cannotStart(const std::string& why) {
    std::cerr << "halvane: " << why << '\n';
    return 1;
}

std::string hexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

}  // namespace

int runSaver(const SaverTarget& target, LogSink& log) {
    AsioScheduler loop;
    // First, so that a stop request during the start is kept for the loop.
    asio::signal_set signals(loop.context(), SIGINT, SIGTERM);
    signals.async_wait([&loop](const std::error_code& error, int) {
        if (!error) loop.stop();
    });

    auto x11 = X11Connection::open(loop.context(), nullptr, log);
    if (!x11)
        return cannotStart(std::string("cannot open the X display") +
                           (std::getenv("DISPLAY") ? "" : " (DISPLAY is not set)"));
    x11->setLogPrefix("HalvaneSaver: ");

    std::optional<HalvaneWindow::Facts> facts;
    if (target.kind != SaverTarget::Kind::preview) {
        Window window = target.kind == SaverTarget::Kind::root ? x11->root() : target.window;
        facts = HalvaneWindow::describe(*x11, window);
        if (!facts) return cannotStart("no window " + hexId(window) + " on this display");
        if (facts->inputOnly)
            return cannotStart("the window " + hexId(window) + " cannot be drawn into");
    }

    auto made = GlxContext::create(x11->display(), facts ? facts->screen : x11->screen(),
                                   facts ? facts->visual : 0);
    if (!made) return cannotStart("no OpenGL 3.3 on this display: " + made.why());
    std::unique_ptr<GlxContext> glx = std::move(*made);
    if (facts && glx->depth() != facts->depth)
        return cannotStart("no OpenGL config for the window " + hexId(facts->window) +
                           "'s visual (depth " + std::to_string(facts->depth) + ")");
    auto compiler = GlCompileThread::start(glx->createShared(), log);
    if (!compiler) return cannotStart("cannot compile effects in the background on this display");
    ProgramLibrary programs(loop, *compiler);
    GlFrameRenderer renderer;

    auto window =
        facts ? std::make_unique<HalvaneWindow>(*x11, *glx, loop, *facts)
              : std::make_unique<HalvaneWindow>(*x11, *glx, loop, kPreviewWidth, kPreviewHeight);
    if (!window->drawable())
        return cannotStart("GLX cannot draw into the window " + hexId(window->xid()));

    X11RenderServices services{*x11, *glx, programs, renderer, loop, log};
    ShaderViewServices viewServices = services.viewServices();
    viewServices.timer.reset();  // the tick below is the only one that draws
    HalvaneSaver saver(window->width(), window->height(), std::move(viewServices), loadSelection(),
                       log);
    // Points are pixels here: the host's window is measured in pixels.
    saver.shaderView().moveToWindow(&window->surface(), 1.0, false);

    TimerHandle tick;
    window->setHandlers(
        [&saver](int width, int height) { saver.shaderView().setFrameSize(width, height); },
        [&](const std::string& line) {
            tick.cancel();
            if (!line.empty()) log.write("HalvaneSaver: " + line);
            loop.stop();
        });

    // On a software renderer it keeps within its CPU budget as Tavel's own views do:
    // drawn smaller first, then less often.
    const auto fps = static_cast<std::int64_t>(std::lround(1.0 / saver.animationTimeInterval()));
    ProcessRenderLoad load([&saver] { return saver.shaderView().framesDrawn(); });
    RenderBudget budget(loop, load, target.cpuBudgetPercent, glx->renderer());
    budget.setUserLimits(ViewLimits{1.0, fps});
    std::int64_t tickFps = 0;
    auto follow = [&] {
        const ViewLimits limits = budget.limit(ViewLimits{1.0, fps});
        saver.shaderView().setQualityScale(limits.scale);
        if (limits.fps == tickFps) return;
        tickFps = limits.fps;
        tick = loop.scheduleRepeating(
            std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / tickFps)),
            [&] {
                if (window->usable()) saver.animateOneFrame();
            });
    };
    budget.setChangeHandler(follow);
    if (budget.applies())
        log.write("HalvaneSaver: software renderer " + budget.renderer() + ": keeping within " +
                  std::to_string(static_cast<int>(std::lround(budget.percent()))) + "% of a core");

    int status = 0;
    try {
        saver.startAnimation();
        follow();
        budget.setDrawing(true);
        loop.run();
    } catch (const std::exception& error) {
        log.write(std::string("HalvaneSaver: stopped after an internal error: ") + error.what());
        status = 1;
    }
    tick.cancel();
    signals.cancel();
    return status;
}

}  // namespace tavel
