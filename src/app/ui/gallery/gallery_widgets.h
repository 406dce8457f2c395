#pragma once
// The gallery's own controls, drawn to match its dark glass look: a slider, a switch, a
// segmented picker, letter-spaced captions and tooltips that wait before they show.
// Each places one ImGui item at the cursor and advances it.

#include "app/ui/gallery/item_rects.h"
#include "effects/rgba.h"

#include <imgui.h>

#include <string>
#include <vector>

namespace tavel::gallery {

// A slider `width` wide over lower...upper; a press or drag writes *value (the ends
// exactly at the ends of the track). True when it wrote.
bool slider(const char* id, float* value, float lower, float upper, float width, Rgba tint);

// A switch; true when it was clicked (the caller flips its value).
bool toggleSwitch(const char* id, bool on, Rgba tint);

// Segments side by side; the index clicked this frame, or -1. Each segment is recorded
// as "<name>:<item>".
int segmented(const char* id, const std::vector<std::string>& items, int selected, float width,
              float height, ItemRects& rects, const std::string& name);

// A plain button: `fill` behind the text (transparent for none), true when clicked.
bool textButton(const char* label, ImVec2 size, ImU32 fill, ImU32 text, float rounding);

// Text in the current font with `spacing` points between letters.
void letterSpacedText(const char* text, float spacing, ImU32 colour);

// Shows `text` as the tooltip of the last item once it has been hovered for a moment,
// also when the item is disabled; `hovered` says whether it is, where the item's own
// shape is not its rectangle.
void delayedTooltip(const char* text);
void delayedTooltip(const char* text, bool hovered);

}  // namespace tavel::gallery
