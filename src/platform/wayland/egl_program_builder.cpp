#include "platform/wayland/egl_program_builder.h"

namespace tavel {

std::unique_ptr<EglProgramBuilder> EglProgramBuilder::create(EglContext& context, LogSink& log) {
    std::unique_ptr<EglSharedContext> shared = context.createShared();
    if (!shared) return nullptr;
    return std::unique_ptr<EglProgramBuilder>(new EglProgramBuilder(std::move(shared), log));
}

}  // namespace tavel
