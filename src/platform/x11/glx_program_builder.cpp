#include "platform/x11/glx_program_builder.h"

namespace tavel {

std::unique_ptr<GlxProgramBuilder> GlxProgramBuilder::create(GlxContext& context, LogSink& log) {
    std::unique_ptr<GlxSharedContext> shared = context.createShared();
    if (!shared) return nullptr;
    return std::unique_ptr<GlxProgramBuilder>(new GlxProgramBuilder(std::move(shared), log));
}

}  // namespace tavel
