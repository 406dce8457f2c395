#include "effects/catalog.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <vector>

namespace tavel {
namespace {

TEST(Catalog, CategoriesInOrderWithTheirEffects) {
    const auto& library = shaderLibrary();
    ASSERT_EQ(library.size(), 3u);
    EXPECT_EQ(library[0].name, "Texture");
    EXPECT_EQ(library[0].icon, "water.waves");
    EXPECT_EQ(library[1].name, "Pattern");
    EXPECT_EQ(library[1].icon, "square.grid.3x3.middle.filled");
    EXPECT_EQ(library[2].name, "Minimal");
    EXPECT_EQ(library[2].icon, "grid");
    EXPECT_EQ(library[0].effects.size(), 5u);
    EXPECT_EQ(library[1].effects.size(), 5u);
    EXPECT_EQ(library[2].effects.size(), 6u);
}

TEST(Catalog, AllShadersFlattensInCatalogOrder) {
    const std::vector<std::string> expected = {
        "halvane", "neontopo", "dotwave",    "filament",   "nebulamesh", "tiles",
        "dome",    "dothalo",  "glasscubes", "signalwall", "wiremesh",   "orbits",
        "horizon", "ridges",   "vortex",     "gridtunnel"};
    std::vector<std::string> ids;
    for (const auto& effect : allShaders()) ids.push_back(effect.id);
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(allShaders()[5].id, "tiles");
}

TEST(Catalog, InvariantsHoldForEveryEffect) {
    std::set<std::string> ids;
    for (const auto& effect : allShaders()) {
        SCOPED_TRACE(effect.id);
        EXPECT_TRUE(ids.insert(effect.id).second) << "duplicate id";
        ASSERT_TRUE(effect.defaults.custom1.has_value());
        ASSERT_TRUE(effect.defaults.custom2.has_value());
        for (const auto& slider : {*effect.defaults.custom1, *effect.defaults.custom2}) {
            EXPECT_LE(slider.range.lower, slider.def);
            EXPECT_LE(slider.def, slider.range.upper);
            EXPECT_LT(slider.range.lower, slider.range.upper);
        }
        for (float c : effect.defaults.bg) EXPECT_TRUE(c >= 0 && c <= 1);
        for (float c : effect.defaults.accent) EXPECT_TRUE(c >= 0 && c <= 1);
        EXPECT_NE(effect.fragmentSource.find("fragmentMain"), std::string_view::npos)
            << "program text missing";
    }
}

TEST(Catalog, FlagshipAndSampleEntriesCarryTheirNumbers) {
    auto halvane = shaderEffect("halvane");
    ASSERT_TRUE(halvane);
    EXPECT_EQ(halvane->name, "Tavel");
    EXPECT_EQ(halvane->defaults.bg, (std::array<float, 3>{0.028f, 0.028f, 0.04f}));
    EXPECT_EQ(halvane->defaults.accent, (std::array<float, 3>{1.0f, 0.6f, 0.22f}));
    EXPECT_EQ(*halvane->defaults.custom1, (CustomSpec{"RISE", {0.35f, 1.2f}, 0.75f}));
    EXPECT_EQ(*halvane->defaults.custom2, (CustomSpec{"SPREAD", {20.0f, 120.0f}, 68.0f}));

    auto tunnel = shaderEffect("gridtunnel");
    ASSERT_TRUE(tunnel);
    EXPECT_EQ(tunnel->name, "Deep Grid");
    EXPECT_EQ(*tunnel->defaults.custom1, (CustomSpec{"GRID", {2.5f, 6.5f}, 4.0f}));
    EXPECT_EQ(*tunnel->defaults.custom2, (CustomSpec{"DEPTH", {4.0f, 10.0f}, 7.0f}));

    auto neontopo = shaderEffect("neontopo");
    ASSERT_TRUE(neontopo);
    EXPECT_EQ(*neontopo->defaults.custom2, (CustomSpec{"LAKE", {0.05f, 0.32f}, 0.185f}));
}

TEST(Catalog, LookupIsExactAndNeverSubstitutes) {
    auto dome = shaderEffect("dome");
    ASSERT_TRUE(dome);
    EXPECT_EQ(dome->name, "Obsidian Dome");
    EXPECT_EQ(dome->defaults.bg, (std::array<float, 3>{0, 0, 0}));
    EXPECT_FALSE(shaderEffect("Dome"));
    EXPECT_FALSE(shaderEffect(""));
    EXPECT_FALSE(shaderEffect("dome "));
    EXPECT_FALSE(shaderEffect("aurora"));
}

TEST(Catalog, LabelsRepeatAcrossEffects) {
    int density = 0;
    for (const auto& effect : allShaders())
        for (const auto* slider : {&*effect.defaults.custom1, &*effect.defaults.custom2})
            density += slider->label == "DENSITY";
    EXPECT_EQ(density, 4);  // neontopo, dotwave, nebulamesh, wiremesh
}

TEST(Catalog, FirstAccessFromManyThreadsSharesOneLibrary) {
    std::vector<std::future<const std::vector<ShaderCategory>*>> futures;
    for (int i = 0; i < 8; ++i)
        futures.push_back(std::async(std::launch::async, [] { return &shaderLibrary(); }));
    const auto* first = futures[0].get();
    for (std::size_t i = 1; i < futures.size(); ++i) EXPECT_EQ(futures[i].get(), first);
}

}  // namespace
}  // namespace tavel
