#include "platform/gl_thread_binding.h"

namespace tavel {

namespace {

// The release of the API that bound last on this thread.
thread_local ReleaseGlBinding holder = nullptr;

}  // namespace

void takeGlBinding(ReleaseGlBinding release) {
    if (holder && holder != release) holder();
    holder = release;
}

}  // namespace tavel
