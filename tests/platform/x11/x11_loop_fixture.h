#pragma once
// A connection to the test program's private Xvfb, watched on a real main loop. Tests
// run the loop in short bounded slices until what they wait for has happened, so a
// fault fails a test after a few seconds instead of hanging it; none of them sleeps.

// Before any X11 header: Xlib's None macro breaks gtest's type lists.
#include <gtest/gtest.h>

#include "platform/asio/asio_scheduler.h"
#include "platform/x11/x11_connection.h"
#include "support/xvfb_server.h"

#include <chrono>
#include <functional>
#include <memory>

namespace tavel::test {

// Runs `loop` until `done` holds or `limit` has passed; returns whether it holds.
inline bool runUntil(AsioScheduler& loop, const std::function<bool()>& done,
                     Duration limit = std::chrono::seconds(5)) {
    Duration end = loop.now() + limit;
    while (!done()) {
        if (loop.now() >= end) return false;
        loop.runFor(std::chrono::milliseconds(10));
    }
    return true;
}

class X11LoopTest : public ::testing::Test {
protected:
    X11LoopTest() {
        sharedXvfb();
        connection = X11Connection::open(loop.context());
    }
    void SetUp() override {
        ASSERT_NE(connection, nullptr) << "cannot open the test display";
        // Whatever opening posted has run: the loop is quiet when the test begins.
        loop.runFor(std::chrono::milliseconds(20));
    }

    // The server has handled every request sent so far, and every event it sent before
    // that is in this client's queue.
    void sync() { XSync(connection->display(), False); }

    AsioScheduler loop;  // before the connection: it must outlive it
    std::unique_ptr<X11Connection> connection;
};

}  // namespace tavel::test
