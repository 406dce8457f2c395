#pragma once
// Builds effect programs in a background context of the views' share group. Each
// program is compiled, linked and drawn once into a 1x1 target there (drivers finish
// compiling at the first draw, which would otherwise cost the view's first frame), and
// finished (glFinish) before it is handed out, so every context of the group can use it
// at once. Vertex arrays and framebuffers are not shared between contexts: the target is
// this context's own.
//
// One thread only, the one on which the context is current for every call.

#include "effects/catalog.h"
#include "effects/shader_view.h"

#include <vector>

namespace tavel {

class ShareGroupCompiler {
public:
    ShareGroupCompiler() = default;
    ShareGroupCompiler(const ShareGroupCompiler&) = delete;
    ShareGroupCompiler& operator=(const ShareGroupCompiler&) = delete;

    // Makes the target. `contextCurrent` false (the context could not be bound) leaves
    // the compiler without one: every build() then fails with a message.
    void begin(bool contextCurrent);
    ProgramCompiler::Outcome build(const ShaderEffect& effect);
    // Deletes the programs it made and the target, and waits for the driver; the
    // context may be released afterwards.
    void end();

private:
    bool bound_ = false;
    unsigned vertexArray_ = 0;
    unsigned uniformBuffer_ = 0;
    unsigned framebuffer_ = 0;
    unsigned colour_ = 0;
    std::vector<unsigned> programs_;
};

}  // namespace tavel
