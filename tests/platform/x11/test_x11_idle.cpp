// Idle time and the input monitor against Xvfb, with input made by xdotool (through
// XTEST, as a real device would).

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/x11/x11_idle.h"
#include "support/xvfb_server.h"
#include "x11_loop_fixture.h"

#include <X11/Xatom.h>

#include <chrono>
#include <string>

namespace tavel {
namespace {

using namespace std::chrono_literals;
using test::runUntil;

// Relative pointer motion, as a mouse makes it, back and forth so the pointer stays
// on the screen. (An absolute `xdotool mousemove` is a pointer warp, not device
// input: it makes no raw events.)
std::vector<std::string> moveCommand() {
    static int step = 0;
    ++step;
    return {"xdotool", "mousemove_relative", "--", step % 2 ? "7" : "-7", "5"};
}

class IdleTimeTest : public test::X11LoopTest {
protected:
    // Lets the idle time grow: the loop runs, nobody types.
    void stayIdle() { loop.runFor(300ms); }

    test::XvfbServer& xvfb = test::sharedXvfb();
    ScreenSaverIdleTime idle{*connection};
};

TEST_F(IdleTimeTest, GrowsWhileNobodyTypes) {
    ASSERT_TRUE(idle.available());
    double before = idle.idleSeconds();
    stayIdle();
    EXPECT_GE(idle.idleSeconds(), before + 0.25);
}

TEST_F(IdleTimeTest, AKeyPressResetsIt) {
    stayIdle();
    double before = idle.idleSeconds();
    ASSERT_GE(before, 0.25);
    ASSERT_EQ(xvfb.run({"xdotool", "key", "shift"}), 0);
    EXPECT_LT(idle.idleSeconds(), 0.25);
}

TEST_F(IdleTimeTest, PointerMotionResetsIt) {
    stayIdle();
    ASSERT_GE(idle.idleSeconds(), 0.25);
    ASSERT_EQ(xvfb.run(moveCommand()), 0);
    EXPECT_LT(idle.idleSeconds(), 0.25);
}

// The query's round trip reads events that arrived before its reply into Xlib's queue,
// where the socket no longer announces them; they must be dispatched all the same.
TEST_F(IdleTimeTest, EventsReadDuringTheQueryAreStillDispatched) {
    Atom property = connection->atom("TAVEL_TEST_IDLE");
    connection->selectRootInput(PropertyChangeMask);
    int seen = 0;
    int id = connection->addExtensionHandler([&](const XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.atom == property) ++seen;
    });
    long value = 1;
    XChangeProperty(connection->display(), connection->root(), property, XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
    idle.idleSeconds();  // sends the change, then waits for the reply behind its event
    EXPECT_TRUE(runUntil(
        loop, [&] { return seen == 1; }, 1s));

    connection->removeExtensionHandler(id);
    connection->deselectRootInput(PropertyChangeMask);
    XDeleteProperty(connection->display(), connection->root(), property);
}

class InputMonitorTest : public test::X11LoopTest {
protected:
    // Runs `command` and waits until the monitor has seen input.
    bool noticed(const std::vector<std::string>& command) {
        inputs = 0;
        if (xvfb.run(command) != 0) return false;
        return runUntil(loop, [&] { return inputs > 0; });
    }

    test::XvfbServer& xvfb = test::sharedXvfb();
    XInputMonitor monitor{*connection};
    int inputs = 0;
};

TEST_F(InputMonitorTest, NoticesMotionKeysClicksAndScrolling) {
    ASSERT_TRUE(monitor.available());
    monitor.start([&] { ++inputs; });
    EXPECT_TRUE(noticed(moveCommand())) << "motion";
    EXPECT_TRUE(noticed({"xdotool", "key", "shift"})) << "key";
    EXPECT_TRUE(noticed({"xdotool", "click", "1"})) << "left button";
    EXPECT_TRUE(noticed({"xdotool", "click", "3"})) << "right button";
    EXPECT_TRUE(noticed({"xdotool", "click", "5"})) << "wheel";
}

// A second client watches the same input: once it has seen the events, ours were sent
// too, and a round trip brings them in.
TEST_F(InputMonitorTest, NothingArrivesAfterStop) {
    auto witnessConnection = X11Connection::open(loop.context());
    ASSERT_NE(witnessConnection, nullptr);
    XInputMonitor witness(*witnessConnection);
    int witnessed = 0;
    witness.start([&] { ++witnessed; });

    monitor.start([&] { ++inputs; });
    ASSERT_TRUE(noticed({"xdotool", "key", "shift"}));
    monitor.stop();
    sync();
    connection->dispatchPending();
    inputs = 0;

    witnessed = 0;
    ASSERT_EQ(xvfb.run(moveCommand()), 0);
    ASSERT_EQ(xvfb.run({"xdotool", "key", "shift", "click", "1"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return witnessed >= 3; }));
    sync();
    connection->dispatchPending();
    loop.runFor(50ms);
    EXPECT_EQ(inputs, 0);
}

TEST_F(InputMonitorTest, TheCallbackMayStopTheMonitor) {
    monitor.start([&] {
        ++inputs;
        monitor.stop();
    });
    ASSERT_EQ(xvfb.run({"xdotool", "key", "shift", "key", "shift", "click", "1"}), 0);
    ASSERT_TRUE(runUntil(loop, [&] { return inputs > 0; }));
    sync();
    connection->dispatchPending();
    loop.runFor(50ms);
    EXPECT_EQ(inputs, 1);
}

TEST_F(InputMonitorTest, StartingAgainReplacesTheCallback) {
    int first = 0;
    monitor.start([&] { ++first; });
    monitor.start([&] { ++inputs; });
    ASSERT_TRUE(noticed({"xdotool", "key", "shift"}));
    EXPECT_EQ(first, 0);
}

}  // namespace
}  // namespace tavel
