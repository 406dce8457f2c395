#pragma once
// A GL context of the windows' share group, used on one background (compile) thread
// alone.

namespace tavel {

class CompileContext {
public:
    virtual ~CompileContext() = default;
    // Binds it (with no drawable, or a 1x1 one where the driver needs one); false when
    // refused.
    virtual bool makeCurrent() = 0;
    // Unbinds it, so it can be destroyed from another thread.
    virtual void release() = 0;
};

}  // namespace tavel
