#pragma once
#include "platform/asio/asio_scheduler.h"

#include <functional>

namespace tavel::test {

// Runs `loop` in short slices until `done` holds or `limit` has passed; returns whether it
// holds. A fault then fails a test after a few seconds instead of hanging it.
inline bool runUntil(AsioScheduler& loop, const std::function<bool()>& done,
                     Duration limit = std::chrono::seconds(10)) {
    for (Duration end = loop.now() + limit; !done(); loop.runFor(std::chrono::milliseconds(10)))
        if (loop.now() >= end) return false;
    return true;
}

}  // namespace tavel::test
