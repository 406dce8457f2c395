#pragma once
// The attached screens, as the window system reports them.

#include "platform/screen.h"

#include <functional>
#include <vector>

namespace tavel {

class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    // The active screens, primary first, then in the window system's order. Main thread.
    virtual std::vector<ScreenRecord> screens() const = 0;
    // Called when screens were added, removed or rearranged, on any thread (the
    // receiver defers its work to the main queue). One handler; a new one replaces it,
    // an empty one removes it.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

}  // namespace tavel
