// Parameter bindings: reading the live settings, writing one field, resetting.

#include "support/app_state_fixture.h"

namespace tavel {
namespace {

using test::AppStateTest;

TEST_F(AppStateTest, BindingsReadCatalogDefaultsWhenNothingIsStored) {
    AppState& s = make();
    EXPECT_EQ(s.colorBinding(true, "halvane").get(), (Rgba{1.0f, 0.6f, 0.22f, 1.0f}));
    EXPECT_EQ(s.colorBinding(false, "halvane").get(), (Rgba{0.028f, 0.028f, 0.04f, 1.0f}));
    EXPECT_EQ(s.customBinding(1, "halvane").get(), 0.75f);
    EXPECT_EQ(s.customBinding(2, "halvane").get(), 68.0f);
    EXPECT_EQ(s.paramBinding(&ShaderParams::speed, "halvane").get(), 1.0f);
    EXPECT_EQ(s.paramBinding(&ShaderParams::hue, "halvane").get(), 0.0f);
    // An id the catalog lacks: white and zero.
    EXPECT_EQ(s.colorBinding(false, "aurora").get(), (Rgba{1, 1, 1, 1}));
    EXPECT_EQ(s.customBinding(1, "aurora").get(), 0.0f);
}

TEST_F(AppStateTest, WritingOneControlCreatesAnEntryWithOnlyThatField) {
    AppState& s = make();
    s.paramBinding(&ShaderParams::speed, "dome").set(2.0f);
    ShaderParams expected;
    expected.speed = 2.0f;
    EXPECT_EQ(s.settings().params.at("dome"), expected);
    EXPECT_EQ(stored().params.at("dome"), expected);
    EXPECT_EQ(store.writes, 1);
}

TEST_F(AppStateTest, ColourWritesStoreExactlyThreeComponents) {
    AppState& s = make();
    auto accent = s.colorBinding(true, "tiles");
    accent.set(Rgba{0.25f, 0.5f, 0.75f, 0.3f});
    const ShaderParams& p = s.settings().params.at("tiles");
    EXPECT_EQ(p.accent, (std::vector<float>{0.25f, 0.5f, 0.75f}));
    EXPECT_FALSE(p.bg);
    EXPECT_EQ(accent.get(), (Rgba{0.25f, 0.5f, 0.75f, 1.0f}));

    int writes = store.writes;
    accent.set(Rgba{std::nanf(""), 0, 0, 1});  // not a colour: ignored
    EXPECT_EQ(store.writes, writes);
    EXPECT_EQ(accent.get(), (Rgba{0.25f, 0.5f, 0.75f, 1.0f}));
}

TEST_F(AppStateTest, SlotOneIsTheFirstSliderAndEveryOtherSlotTheSecond) {
    AppState& s = make();
    s.customBinding(1, "vortex").set(30.0f);
    for (std::int64_t slot : {2, 0, 7, -1}) s.customBinding(slot, "vortex").set(float(slot) + 100);
    const ShaderParams& p = s.settings().params.at("vortex");
    EXPECT_EQ(p.custom1, 30.0f);
    EXPECT_EQ(p.custom2, 99.0f);  // the last write, slot -1
    // Out of the slider's range (14...32): stored and applied as written.
    s.customBinding(1, "vortex").set(500.0f);
    s.setShader("vortex");
    EXPECT_EQ(view("Left").params.custom1, 500.0f);
}

TEST_F(AppStateTest, ResetForgetsTheEffectsParametersAndStillStores) {
    AppState& s = make();
    s.resetParams("dome");  // nothing to forget: still one write, still applied
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(journal, (test::Journal{"store marlowen.settings.v2", "apply Left", "apply Right"}));

    s.paramBinding(&ShaderParams::zoom, "halvane").set(2.0f);
    s.colorBinding(false, "halvane").set(Rgba{1, 0, 0, 1});
    EXPECT_EQ(view("Left").params.zoom, 2.0f);
    s.resetParams("halvane");
    EXPECT_EQ(s.settings().params.count("halvane"), 0u);
    EXPECT_EQ(view("Left").params, ShaderParams{});
    EXPECT_EQ(s.colorBinding(false, "halvane").get(), (Rgba{0.028f, 0.028f, 0.04f, 1.0f}));
}

}  // namespace
}  // namespace tavel
