#pragma once
// The lower half of the control panel: the "Colors" / "Motion" / "Style" picker, the tab
// area holding all three bodies (only the selected one shown and interactive, the others
// faded out in place so the panel never changes height), and "Reset to defaults". Every
// control edits the browsed effect's stored parameters through AppState's bindings.

#include "app/ui/gallery/gallery_frame.h"
#include "app/ui/gallery/motion.h"
#include "effects/rgba.h"

#include <array>
#include <string>
#include <string_view>

namespace tavel::gallery {

// How a parameter row shows its value.
enum class ValueFormat {
    times,      // "1.0×"
    percent,    // the value times 100: "30%"
    degrees,    // "-180°"
    whole,      // "34"
    hundredths  // "0.19"
};
std::string valueText(ValueFormat format, float value);

// "DENSITY" -> "Density", "two WORDS" -> "Two Words".
std::string capitalised(std::string_view label);

// The palette of the colour swatches, in order.
extern const std::array<Rgba, 10> kPresetColors;

class EffectControls {
public:
    EffectControls();
    // Draws at the cursor, `width` points wide, and leaves the cursor below the reset button.
    void draw(GalleryFrame& frame, float width);

private:
    void colorsBody(GalleryFrame& frame, const std::string& id, float width, bool live);
    void motionBody(GalleryFrame& frame, const std::string& id, float width, bool live);
    void styleBody(GalleryFrame& frame, const ShaderEffect& effect, float width, bool live);
    void swatchRow(GalleryFrame& frame, const char* label, Binding<Rgba> color, float width,
                   bool live);
    void paramRow(GalleryFrame& frame, const std::string& label, Binding<float> value,
                  ClosedRange range, ValueFormat format, float width, bool live);

    int tab_ = 0;
    std::array<Animated, 3> fades_;
    std::array<float, 3> heights_{};
};

}  // namespace tavel::gallery
