// The control panel's effect controls: sliders, colour swatches, the tabs and reset,
// always on the browsed effect's stored parameters; and how values read.

#include "app/ui/gallery/effect_controls.h"
#include "gallery_ui_fixture.h"

#include <algorithm>

namespace tavel {
namespace {

using test::GalleryUiTest;

TEST_F(GalleryUiTest, SlidersWriteTheBrowsedEffectsFieldsUpToTheirLimits) {
    struct Row {
        const char* tab;
        const char* slider;
        std::function<float(const ShaderParams&)> field;
        float lower, upper;
    };
    const Row rows[] = {
        {"tab:Motion", "slider:Speed", [](const ShaderParams& p) { return p.speed; }, 0.1f, 3.0f},
        {"tab:Motion", "slider:Zoom", [](const ShaderParams& p) { return p.zoom; }, 0.4f, 2.5f},
        {"tab:Motion", "slider:Glow", [](const ShaderParams& p) { return p.intensity; }, 0.3f,
         1.8f},
        {"tab:Motion", "slider:Hue", [](const ShaderParams& p) { return p.hue; }, -180.0f, 180.0f},
        // Neon Terrain's own sliders.
        {"tab:Style", "slider:Density", [](const ShaderParams& p) { return *p.custom1; }, 18.0f,
         50.0f},
        {"tab:Style", "slider:Lake", [](const ShaderParams& p) { return *p.custom2; }, 0.05f,
         0.32f},
    };
    open();
    click("thumb:neontopo");  // browsed, not on the desktop
    for (const Row& row : rows) {
        SCOPED_TRACE(row.slider);
        click(row.tab);
        drag(row.slider, 0.0f);
        EXPECT_EQ(row.field(state->params("neontopo")), row.lower);
        drag(row.slider, 1020.0f);
        EXPECT_EQ(row.field(state->params("neontopo")), row.upper);
    }
    EXPECT_EQ(state->params("halvane"), ShaderParams{});
    EXPECT_EQ(shown(), "halvane halvane");
}

TEST_F(GalleryUiTest, OnlyTheSelectedTabTakesInput) {
    open();
    click("tab:Motion");
    const ImRect speed = rect("slider:Speed");
    click("tab:Colors");
    EXPECT_FALSE(drawn("slider:Speed"));
    clickAt(ImVec2(speed.Min.x + 2.0f, speed.GetCenter().y));  // where the faded slider is
    EXPECT_EQ(state->params("halvane").speed, 1.0f);
    // The bodies stay in place: switching never moves what is below them.
    const float reset = rect("panel:Reset to defaults").Min.y;
    for (const char* tab : {"tab:Style", "tab:Motion"}) {
        click(tab);
        EXPECT_EQ(rect("panel:Reset to defaults").Min.y, reset) << tab;
    }
}

TEST_F(GalleryUiTest, PresetsAndResetEditTheBrowsedEffect) {
    open();
    click("swatch:Accent");
    // Five columns 34 points apart, two rows 32 apart.
    EXPECT_EQ(rect("preset:2").Min.x - rect("preset:1").Min.x, 34.0f);
    EXPECT_EQ(rect("preset:6").Min.y - rect("preset:1").Min.y, 32.0f);
    click("preset:3");
    EXPECT_TRUE(drawn("preset:3"));  // the palette stays open
    click("preset:10");
    const ShaderParams p = state->params("halvane");
    EXPECT_EQ(p.accent, (std::vector<float>{0.02f, 0.02f, 0.03f}));
    EXPECT_EQ(p.bg, std::nullopt);
    clickAt(rect("picker:Custom color").Min + ImVec2(3.0f, 3.0f));  // top left: near white
    const std::vector<float> custom = state->params("halvane").accent.value();
    EXPECT_TRUE(std::ranges::all_of(custom, [](float c) { return c > 0.9f; })) << custom[2];

    clickAt(ImVec2(400.0f, 300.0f));  // closes the palette
    click("swatch:Background");
    click("preset:3");
    EXPECT_EQ(state->params("halvane").bg, (std::vector<float>{0.2f, 0.9f, 0.75f}));
    clickAt(ImVec2(400.0f, 300.0f));
    click("tab:Motion");
    drag("slider:Speed", 0.0f);

    click("panel:Reset to defaults");
    EXPECT_EQ(state->params("halvane"), ShaderParams{});
    EXPECT_EQ(stored().params.count("halvane"), 0u);
}

TEST(GalleryValueText, ReadsAsTheRowsShowThem) {
    using gallery::ValueFormat;
    const std::tuple<ValueFormat, float, const char*> cases[] = {
        {ValueFormat::degrees, -180.0f, "-180°"}, {ValueFormat::degrees, 180.0f, "180°"},
        {ValueFormat::percent, 0.3f, "30%"},      {ValueFormat::percent, 1.8f, "180%"},
        {ValueFormat::times, 0.1f, "0.1×"},       {ValueFormat::times, 2.46f, "2.5×"},
        {ValueFormat::whole, 34.4f, "34"},        {ValueFormat::hundredths, 0.3249f, "0.32"},
    };
    for (const auto& [format, value, text] : cases)
        EXPECT_EQ(gallery::valueText(format, value), text) << value;
    EXPECT_EQ(gallery::capitalised("COVERAGE"), "Coverage");
    EXPECT_EQ(gallery::capitalised("two WORDS"), "Two Words");
}

}  // namespace
}  // namespace tavel
