// The connection's handlers and the server's loss.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "effects/log_sink.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;
using test::setItems;

using X11ConnectionTest = test::X11LoopTest;

// A handler may remove itself and one not called yet: later events reach neither.
TEST_F(X11ConnectionTest, HandlersMayGoWhileTheyRun) {
    Window window = XCreateSimpleWindow(display(), root(), 0, 0, 10, 10, 0, 0, 0);
    XSelectInput(display(), window, PropertyChangeMask);
    Atom property = connection->atom("TAVEL_TEST_VALUE");
    std::string calls;  // a letter for each handler called
    auto handler = [&](char name, std::function<void()> then = {}) {
        return [&calls, property, name, then](const XEvent& e) {
            if (e.type != PropertyNotify || e.xproperty.atom != property) return;
            calls += name;
            if (then) then();
        };
    };
    // The handlers called for two changes on the window, in alphabetical order.
    auto deliverTwo = [&] {
        calls.clear();
        for (int i = 0; i < 2; ++i) setItems(display(), window, property, XA_CARDINAL, {1});
        EXPECT_TRUE(settle());
        std::sort(calls.begin(), calls.end());
        return calls;
    };
    int e = 0, f = 0;
    e = connection->addExtensionHandler(handler('E', [&] {
        connection->removeExtensionHandler(e);
        connection->removeExtensionHandler(f);
    }));
    f = connection->addExtensionHandler(handler('F'));
    EXPECT_EQ(deliverTwo(), "E");
    connection->setWindowHandler(window,
                                 handler('W', [&] { connection->setWindowHandler(window, {}); }));
    EXPECT_EQ(deliverTwo(), "W");
    XDestroyWindow(display(), window);
}

class StderrLog final : public LogSink {
public:
    void write(std::string_view line) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
};

// Losing the server exits 1 after the lost handler ran, also when the toolkit's connection
// meets the loss first (not through Xlib's exit()).
TEST(X11ConnectionLoss, LosingTheServerLogsAndExitsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (bool toolkitFirst : {false, true}) {
        EXPECT_EXIT(
            {
                StderrLog log;
                AsioScheduler loop;
                auto server = std::make_unique<test::XvfbServer>(64, 64);
                auto connection = X11Connection::open(loop.context(), server->name().c_str(), log);
                Display* toolkit = XOpenDisplay(server->name().c_str());
                if (!connection || !toolkit) std::_Exit(3);
                connection->setLostHandler([] { std::fprintf(stderr, "flushed\n"); });
                server.reset();
                if (toolkitFirst)
                    XSync(toolkit, False);
                else
                    loop.runFor(10s);
                std::_Exit(4);
            },
            testing::ExitedWithCode(1), "flushed\nTavel: lost the X display")
            << (toolkitFirst ? "the toolkit's connection first" : "");
    }
}

}  // namespace
}  // namespace tavel
