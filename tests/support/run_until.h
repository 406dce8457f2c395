#pragma once
// Tests that wait on a real main loop run it in short bounded slices until what they wait
// for has happened, so a fault fails a test after a few seconds instead of hanging it.

#include "platform/asio/asio_scheduler.h"

#include <chrono>
#include <functional>

namespace tavel::test {

// Runs `loop` until `done` holds or `limit` has passed; returns whether it holds.
inline bool runUntil(AsioScheduler& loop, const std::function<bool()>& done,
                     Duration limit = std::chrono::seconds(10)) {
    Duration end = loop.now() + limit;
    while (!done()) {
        if (loop.now() >= end) return false;
        loop.runFor(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace tavel::test
