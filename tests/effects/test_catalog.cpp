// The catalog's shape and keys. Its numbers (colours, slider defaults and ranges) are
// held by the golden images, which render every effect with them.

#include "effects/catalog.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <vector>

namespace tavel {
namespace {

TEST(Catalog, CategoriesAndIdsInOrder) {
    // Ids are the keys of stored settings: never renamed, never reordered.
    const struct {
        const char* name;
        const char* icon;
        std::vector<std::string> ids;
    } kExpected[] = {
        {"Texture", "water.waves", {"halvane", "neontopo", "dotwave", "filament", "nebulamesh"}},
        {"Pattern",
         "square.grid.3x3.middle.filled",
         {"tiles", "dome", "dothalo", "glasscubes", "signalwall"}},
        {"Minimal", "grid", {"wiremesh", "orbits", "horizon", "ridges", "vortex", "gridtunnel"}},
    };
    const auto& library = shaderLibrary();
    ASSERT_EQ(library.size(), std::size(kExpected));
    std::vector<std::string> flattened, all;
    for (std::size_t i = 0; i < library.size(); ++i) {
        EXPECT_EQ(library[i].name, kExpected[i].name);
        EXPECT_EQ(library[i].icon, kExpected[i].icon);
        std::vector<std::string> ids;
        for (const auto& effect : library[i].effects) ids.push_back(effect.id);
        EXPECT_EQ(ids, kExpected[i].ids) << kExpected[i].name;
        flattened.insert(flattened.end(), ids.begin(), ids.end());
    }
    for (const auto& effect : allShaders()) all.push_back(effect.id);
    EXPECT_EQ(all, flattened);
}

TEST(Catalog, InvariantsHoldForEveryEffect) {
    std::set<std::string> ids;
    int density = 0;
    for (const auto& effect : allShaders()) {
        SCOPED_TRACE(effect.id);
        EXPECT_TRUE(ids.insert(effect.id).second) << "duplicate id";
        EXPECT_FALSE(effect.name.empty());
        ASSERT_TRUE(effect.defaults.custom1 && effect.defaults.custom2);
        for (const auto& slider : {*effect.defaults.custom1, *effect.defaults.custom2}) {
            EXPECT_LE(slider.range.lower, slider.def);
            EXPECT_LE(slider.def, slider.range.upper);
            EXPECT_LT(slider.range.lower, slider.range.upper);
            EXPECT_FALSE(slider.label.empty());
            for (char c : slider.label) EXPECT_TRUE(std::isupper(c)) << slider.label;
            density += slider.label == "DENSITY";
        }
        for (const auto* rgb : {&effect.defaults.bg, &effect.defaults.accent})
            for (float c : *rgb) EXPECT_TRUE(c >= 0 && c <= 1);
        EXPECT_NE(effect.fragmentSource.find("fragmentMain"), std::string_view::npos)
            << "program text missing";
    }
    EXPECT_EQ(density, 4) << "labels are captions and may repeat across effects";
}

TEST(Catalog, LookupIsExactAndNeverSubstitutes) {
    EXPECT_EQ(shaderEffect("halvane").value().name, "Tavel");
    EXPECT_EQ(shaderEffect("dome").value().name, "Obsidian Dome");
    for (const char* id : {"Dome", "", "dome ", "aurora"}) EXPECT_FALSE(shaderEffect(id)) << id;
}

}  // namespace
}  // namespace tavel
