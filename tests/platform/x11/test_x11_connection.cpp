// The connection's event routing, shared root mask, error log, and the server's loss.

#include "x11_loop_fixture.h"  // first: gtest before any X11 header

#include "effects/log_sink.h"
#include "platform/x11/x11_error_catch.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;
using test::setItems;

using X11ConnectionTest = test::X11LoopTest;

TEST_F(X11ConnectionTest, EventsReachTheirHandlersWhichMayChangeWhileTheyRun) {
    Window window = XCreateSimpleWindow(display(), root(), 0, 0, 10, 10, 0, 0, 0);
    XSelectInput(display(), window, PropertyChangeMask);
    connection->selectRootInput(PropertyChangeMask);
    Atom property = connection->atom("TAVEL_TEST_VALUE");
    std::string calls;  // a letter for each handler called
    auto handler = [&](char name, std::function<void()> then = {}) {
        return [&calls, property, name, then](const XEvent& e) {
            if (e.type != PropertyNotify || e.xproperty.atom != property) return;
            calls += name;
            if (then) then();
        };
    };
    // The handlers called for `count` changes on `target`, in alphabetical order.
    auto deliver = [&](Window target, int count = 1) {
        calls.clear();
        for (int i = 0; i < count; ++i) setItems(display(), target, property, XA_CARDINAL, {1});
        EXPECT_TRUE(settle());
        std::sort(calls.begin(), calls.end());
        return calls;
    };
    connection->setWindowHandler(window, handler('W'));
    connection->setWindowHandler(root(), handler('R'));
    int e = connection->addExtensionHandler(handler('E'));
    EXPECT_EQ(deliver(window), "W");
    EXPECT_EQ(deliver(root()), "ER");
    connection->setWindowHandler(window, {});
    EXPECT_EQ(deliver(window), "E");

    // One that removes itself and one not called yet: the second event reaches neither.
    int f = 0;
    connection->removeExtensionHandler(e);
    e = connection->addExtensionHandler(handler('E', [&] {
        connection->removeExtensionHandler(e);
        connection->removeExtensionHandler(f);
    }));
    f = connection->addExtensionHandler(handler('F'));
    EXPECT_EQ(deliver(window, 2), "E");
    connection->setWindowHandler(window,
                                 handler('W', [&] { connection->setWindowHandler(window, {}); }));
    EXPECT_EQ(deliver(window, 2), "W");

    connection->setWindowHandler(root(), {});
    XDestroyWindow(display(), window);

    // The root's mask bits are counted per user: this test's and settle()'s came and went.
    auto selected = [&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display(), root(), &attributes);
        return attributes.your_event_mask;
    };
    connection->selectRootInput(PropertyChangeMask | StructureNotifyMask);
    EXPECT_EQ(selected(), PropertyChangeMask | StructureNotifyMask);
    connection->deselectRootInput(PropertyChangeMask | StructureNotifyMask);
    EXPECT_EQ(selected(), PropertyChangeMask);  // the first user still has it
    connection->deselectRootInput(PropertyChangeMask);
    EXPECT_EQ(selected(), 0);
}

// Events Xlib queued during a round trip are not announced by the socket again: a flood
// beyond one batch is still dispatched to the end, with other work taking turns.
TEST_F(X11ConnectionTest, EventsReadByARoundTripAreDispatchedInBatchesToTheEnd) {
    constexpr int kEvents = 1000;
    Atom property = connection->atom("TAVEL_TEST_FLOOD");
    connection->selectRootInput(PropertyChangeMask);
    int seen = 0;
    int id = connection->addExtensionHandler(
        [&](const XEvent& e) { seen += e.type == PropertyNotify && e.xproperty.atom == property; });
    for (unsigned long i = 0; i < kEvents; ++i)
        setItems(display(), root(), property, XA_CARDINAL, {i});
    sync();  // outside the loop: every event is in Xlib's queue, the socket is empty
    ASSERT_GE(XEventsQueued(display(), QueuedAlready), kEvents);

    int seenByOtherWork = -1;
    loop.post([&] { seenByOtherWork = seen; });
    ASSERT_TRUE(runUntil(loop, [&] { return seen == kEvents; }))
        << seen << " of " << kEvents << " events dispatched";
    EXPECT_GT(seenByOtherWork, 0);
    EXPECT_LT(seenByOtherWork, kEvents);  // the loop had a turn in between

    connection->removeExtensionHandler(id);
    connection->deselectRootInput(PropertyChangeMask);
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

TEST(X11ConnectionErrors, EachDistinctErrorIsLoggedOnceUnlessACatcherClaimsIt) {
    test::sharedXvfb();
    AsioScheduler loop;
    MemoryLogSink log;
    auto connection = X11Connection::open(loop.context(), nullptr, log);
    ASSERT_TRUE(connection);
    Display* display = connection->display();
    for (int i = 0; i < 3; ++i) XMapWindow(display, Window(0x1fffff0));  // no such window
    XSync(display, False);
    {
        X11ErrorCatch trap(display, X11ErrorCatch::windowGone);  // other kinds pass on
        if (char* name = XGetAtomName(display, Atom(0x7ffffff0))) XFree(name);
    }
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("Tavel: X error: BadWindow")) << lines[0];
    EXPECT_NE(lines[1].find("BadAtom"), std::string::npos) << lines[1];

    // A catcher claims the errors it knows; the rest are logged with the program's prefix.
    connection->setLogPrefix("HalvaneSaver: ");
    std::vector<unsigned long> claimed;
    {
        X11ErrorCatch catcher(display, [&claimed](const XErrorEvent& error) {
            if (error.resourceid != 0x1fffff1) return false;
            claimed.push_back(error.resourceid);
            return true;
        });
        XMapWindow(display, Window(0x1fffff1));
        XUnmapWindow(display, Window(0x1fffff2));
        EXPECT_EQ(catcher.take(), BadWindow);
    }
    EXPECT_EQ(claimed, std::vector<unsigned long>{0x1fffff1});
    lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[2].starts_with("HalvaneSaver: X error: BadWindow")) << lines[2];
}

}  // namespace
}  // namespace tavel
