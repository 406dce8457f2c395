// The connection's event routing on the main loop, its shared root mask, and what
// happens when the server goes away.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "effects/log_sink.h"
#include "platform/asio/asio_scheduler.h"
#include "platform/x11/x11_connection.h"
#include "support/xvfb_server.h"
#include "x11_loop_fixture.h"

#include <X11/Xatom.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;

class X11ConnectionTest : public test::X11LoopTest {
protected:
    // Changes a property of `window`, which sends PropertyNotify to clients that selected
    // PropertyChangeMask on it.
    void touch(Window window, Atom property, long value = 1) {
        XChangeProperty(connection->display(), window, property, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
    }

    Window makeWindow() {
        Display* display = connection->display();
        Window window = XCreateSimpleWindow(display, connection->root(), 0, 0, 10, 10, 0, 0, 0);
        XSelectInput(display, window, PropertyChangeMask);
        return window;
    }
};

TEST_F(X11ConnectionTest, OpeningAMissingDisplayGivesNothing) {
    EXPECT_EQ(X11Connection::open(loop.context(), ":4095"), nullptr);
}

TEST_F(X11ConnectionTest, AtomsAreInternedOnce) {
    Atom atom = connection->atom("TAVEL_TEST_ATOM");
    EXPECT_NE(atom, static_cast<Atom>(None));
    EXPECT_EQ(connection->atom("TAVEL_TEST_ATOM"), atom);
    EXPECT_EQ(XInternAtom(connection->display(), "TAVEL_TEST_ATOM", True), atom);
}

TEST_F(X11ConnectionTest, WindowEventsGoToTheirWindowsHandlerOnly) {
    Window window = makeWindow();
    Atom property = connection->atom("TAVEL_TEST_VALUE");
    std::vector<int> windowEvents, extensionEvents;
    connection->setWindowHandler(window, [&](const XEvent& e) { windowEvents.push_back(e.type); });
    int id = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.xany.window == window) extensionEvents.push_back(e.type);
    });

    touch(window, property);
    XFlush(connection->display());
    ASSERT_TRUE(runUntil(loop, [&] { return !windowEvents.empty(); }));
    EXPECT_EQ(windowEvents, std::vector<int>{PropertyNotify});
    EXPECT_TRUE(extensionEvents.empty());

    // Without a window handler the event goes to the extension handlers.
    connection->setWindowHandler(window, {});
    touch(window, property, 2);
    XFlush(connection->display());
    ASSERT_TRUE(runUntil(loop, [&] { return !extensionEvents.empty(); }));
    EXPECT_EQ(windowEvents.size(), 1u);

    connection->removeExtensionHandler(id);
    XDestroyWindow(connection->display(), window);
}

TEST_F(X11ConnectionTest, RootEventsGoToTheRootHandlerAndTheExtensionHandlers) {
    Atom property = connection->atom("TAVEL_TEST_ROOT");
    connection->selectRootInput(PropertyChangeMask);
    int rootEvents = 0, extensionEvents = 0;
    auto isOurs = [&](const XEvent& e) {
        return e.type == PropertyNotify && e.xproperty.atom == property;
    };
    connection->setWindowHandler(connection->root(), [&](const XEvent& e) {
        if (isOurs(e)) ++rootEvents;
    });
    int id = connection->addExtensionHandler([&](const XEvent& e) {
        if (isOurs(e)) ++extensionEvents;
    });

    touch(connection->root(), property);
    XFlush(connection->display());
    ASSERT_TRUE(runUntil(loop, [&] { return rootEvents == 1 && extensionEvents == 1; }));

    connection->removeExtensionHandler(id);
    connection->setWindowHandler(connection->root(), {});
    connection->deselectRootInput(PropertyChangeMask);
    XDeleteProperty(connection->display(), connection->root(), property);
}

TEST_F(X11ConnectionTest, HandlersMayRemoveThemselvesAndOthersWhileRunning) {
    Window window = makeWindow();
    Atom property = connection->atom("TAVEL_TEST_VALUE");
    int first = 0, second = 0, windowCalls = 0;
    int secondId = 0;
    int firstId = 0;
    firstId = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.type != PropertyNotify || e.xproperty.window != window) return;
        ++first;
        connection->removeExtensionHandler(firstId);
        connection->removeExtensionHandler(secondId);
    });
    secondId = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.window == window) ++second;
    });

    touch(window, property);
    touch(window, property, 2);
    XFlush(connection->display());
    ASSERT_TRUE(runUntil(loop, [&] { return first > 0; }));
    sync();
    connection->dispatchPending();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);  // removed before the first event reached it

    connection->setWindowHandler(window, [&](const XEvent&) {
        ++windowCalls;
        connection->setWindowHandler(window, {});
    });
    touch(window, property, 3);
    touch(window, property, 4);
    XFlush(connection->display());
    ASSERT_TRUE(runUntil(loop, [&] { return windowCalls > 0; }));
    sync();
    connection->dispatchPending();
    EXPECT_EQ(windowCalls, 1);
    XDestroyWindow(connection->display(), window);
}

TEST_F(X11ConnectionTest, RootMaskBitsAreCountedPerUser) {
    auto selected = [&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(connection->display(), connection->root(), &attributes);
        return attributes.your_event_mask;
    };
    connection->selectRootInput(PropertyChangeMask);
    connection->selectRootInput(PropertyChangeMask | StructureNotifyMask);
    EXPECT_EQ(selected(), PropertyChangeMask | StructureNotifyMask);
    connection->deselectRootInput(PropertyChangeMask | StructureNotifyMask);
    EXPECT_EQ(selected(), PropertyChangeMask);  // the first user still has it
    connection->deselectRootInput(PropertyChangeMask);
    EXPECT_EQ(selected(), 0);
}

// A round trip reads the events that came before its reply into Xlib's queue; the
// socket then has nothing more to say about them. A flood larger than one dispatch
// batch must still be dispatched to the end, while other work on the loop gets turns.
TEST_F(X11ConnectionTest, QueuedEventsAreDispatchedInBatchesToTheEnd) {
    constexpr int kEvents = 1000;
    Atom property = connection->atom("TAVEL_TEST_FLOOD");
    connection->selectRootInput(PropertyChangeMask);
    int seen = 0;
    int id = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.atom == property) ++seen;
    });
    for (int i = 0; i < kEvents; ++i) touch(connection->root(), property, i);
    sync();
    ASSERT_GE(XEventsQueued(connection->display(), QueuedAlready), kEvents);

    connection->dispatchPending();
    int seenByOtherWork = -1;
    loop.post([&] { seenByOtherWork = seen; });
    ASSERT_TRUE(runUntil(loop, [&] { return seen == kEvents; }))
        << seen << " of " << kEvents << " events dispatched";
    EXPECT_GT(seenByOtherWork, 0);
    EXPECT_LT(seenByOtherWork, kEvents);  // the loop had a turn in between

    connection->removeExtensionHandler(id);
    connection->deselectRootInput(PropertyChangeMask);
    XDeleteProperty(connection->display(), connection->root(), property);
}

// Xlib reads events into its queue during flushes and round trips made anywhere, not
// only while the connection dispatches; the socket does not announce them again.
TEST_F(X11ConnectionTest, EventsReadOutsideTheLoopAreDispatched) {
    Atom property = connection->atom("TAVEL_TEST_OUTSIDE");
    connection->selectRootInput(PropertyChangeMask);
    int seen = 0;
    int id = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.atom == property) ++seen;
    });
    touch(connection->root(), property);
    sync();  // the event is in Xlib's queue now, the socket is empty
    ASSERT_GE(XEventsQueued(connection->display(), QueuedAlready), 1);
    EXPECT_TRUE(runUntil(
        loop, [&] { return seen == 1; }, 1s));

    connection->removeExtensionHandler(id);
    connection->deselectRootInput(PropertyChangeMask);
    XDeleteProperty(connection->display(), connection->root(), property);
}

class StderrLog final : public LogSink {
public:
    void write(std::string_view line) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
};

TEST(X11ConnectionLoss, LosingTheServerLogsAndExitsWithStatusOne) {
    // A fresh process, so the shared server and other tests' state stay out of it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            StderrLog log;
            AsioScheduler loop;
            auto server = std::make_unique<test::XvfbServer>(64, 64);
            auto connection = X11Connection::open(loop.context(), server->name().c_str(), log);
            if (!connection) std::_Exit(3);
            server.reset();  // the server goes away
            loop.runFor(10s);
            std::_Exit(4);
        },
        testing::ExitedWithCode(1), "Tavel: lost the X display");
}

}  // namespace
}  // namespace tavel
