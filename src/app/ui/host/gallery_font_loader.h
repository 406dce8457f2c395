#pragma once
// Puts the gallery's typefaces into the ImGui font atlas: the desktop's UI font as
// fontconfig resolves "sans-serif" (a rounded face when one is installed, "monospace" for
// figures), rasterised by FreeType at the monitor's scale so text is crisp at scale 1
// and 2. Main thread, before the atlas is built.

#include "effects/log_sink.h"

#include <imgui.h>

namespace tavel {

// Adds one font per entry of kGalleryFonts, in that order, `points` x `scale` pixels high
// (the interface draws them at FontGlobalScale 1 / scale). A face fontconfig cannot find
// falls back to ImGui's own font, with one log line; false when that happened.
bool loadGalleryFonts(ImFontAtlas& atlas, float scale, LogSink& log);

}  // namespace tavel
