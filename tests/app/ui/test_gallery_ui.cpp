// The gallery window: browsing without touching the desktop, applying, the rail, the
// shelf, the pictures it asks its host for, and the window's own moves.

#include "gallery_ui_fixture.h"

#include <algorithm>
#include <functional>

namespace tavel {
namespace {

using test::GalleryUiTest;
using test::PictureRequest;

TEST_F(GalleryUiTest, BrowsingChangesTheStageButNotTheDesktop) {
    open();
    EXPECT_TRUE(drawn("panel:Active on Desktop"));
    EXPECT_FALSE(drawn("panel:Set as Wallpaper"));

    click("thumb:neontopo");
    EXPECT_EQ(state->browseIndex(), 1);
    press(ImGuiKey_RightArrow);
    EXPECT_EQ(state->browseIndex(), 2);
    EXPECT_TRUE(drawn("panel:Set as Wallpaper"));
    EXPECT_FALSE(drawn("panel:Active on Desktop"));
    for (int i = 0; i < 3; ++i) press(ImGuiKey_LeftArrow);
    EXPECT_EQ(state->browseIndex(), 15);  // wrapped round by the state
    EXPECT_EQ(shown(), "halvane halvane");
    EXPECT_EQ(calls("apply Left"), 0);
}

TEST_F(GalleryUiTest, EveryWayOfApplyingSetsTheBrowsedEffect) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"double click", [this] { doubleClick("thumb:filament"); }},
        {"Return", [this] { click("thumb:filament"), press(ImGuiKey_Enter); }},
        {"keypad Enter", [this] { click("thumb:filament"), press(ImGuiKey_KeyPadEnter); }},
        {"button", [this] { click("thumb:filament"), click("panel:Set as Wallpaper"); }},
    };
    for (const auto& [way, apply] : ways) {
        SCOPED_TRACE(way);
        store.values.clear();  // what the last way applied is not loaded again
        open();
        apply();
        EXPECT_EQ(shown(), "filament filament");
        EXPECT_EQ(state->browseIndex(), 3);
        EXPECT_TRUE(drawn("panel:Active on Desktop"));
    }
}

TEST_F(GalleryUiTest, RailShufflesToTheBrowsedEffectAndPauses) {
    randomIndex = [](std::size_t) { return std::size_t{2}; };  // of the effects not shown
    open();
    click("rail:shuffle");
    EXPECT_EQ(state->settings().globalShaderID, "filament");
    EXPECT_EQ(state->browseIndex(), 3);
    EXPECT_EQ(shown(), "filament filament");

    click("rail:pause");
    EXPECT_TRUE(state->settings().paused);
    click("rail:pause");
    EXPECT_FALSE(state->settings().paused);
    EXPECT_EQ(moves, 0);
}

TEST_F(GalleryUiTest, StageAndThumbnailsAskForTheirPicturesWhileOnScreen) {
    ImGui::GetIO().DisplayFramebufferScale = ImVec2(2.0f, 2.0f);
    open();
    auto asked = [this](const std::string& slot) {
        return std::ranges::count(requests, slot, &PictureRequest::slot) == 1;
    };
    EXPECT_TRUE(
        std::ranges::count(requests, PictureRequest{"stage:halvane", "halvane", 30, 2040, 1320}));
    EXPECT_TRUE(std::ranges::count(requests, PictureRequest{"thumb:dome", "dome", 12, 236, 144}));
    EXPECT_FALSE(asked("thumb:gridtunnel"));  // scrolled out of the shelf

    press(ImGuiKey_RightArrow);  // two frames into the 0.6 s cross-fade
    EXPECT_TRUE(asked("stage:halvane"));
    EXPECT_TRUE(asked("stage:neontopo"));
    frame(16);
    EXPECT_TRUE(asked("stage:halvane"));
    frame(2);
    EXPECT_FALSE(asked("stage:halvane"));
    EXPECT_TRUE(asked("stage:neontopo"));
}

// A shipped Logo image stands in the title for the symbol.
TEST_F(GalleryUiTest, TheTitleShowsTheLogoImageWhenThereIsOne) {
    auto drawnWith = [](ImTextureID texture) {
        const ImDrawData* data = ImGui::GetDrawData();
        for (int i = 0; i < data->CmdListsCount; ++i)
            for (const ImDrawCmd& command : data->CmdLists[i]->CmdBuffer)
                if (command.TextureId == texture) return true;
        return false;
    };
    logo = reinterpret_cast<ImTextureID>(7);
    open();
    EXPECT_TRUE(drawnWith(logo));
}

// A still keeps its proportions: 960 x 600 fills the width of the 1020 x 660 window.
TEST_F(GalleryUiTest, StillsAreFittedIntoTheStageUnstretched) {
    pictureAspect = 1.6f;
    open();
    const ImRect stage = rect("stage:picture");
    EXPECT_FLOAT_EQ(stage.Min.x, 0.0f);
    EXPECT_FLOAT_EQ(stage.GetWidth(), 1020.0f);
    EXPECT_FLOAT_EQ(stage.GetHeight(), 637.5f);
    EXPECT_FLOAT_EQ(stage.GetCenter().y, 330.0f);
}

TEST_F(GalleryUiTest, ShelfScrollsSidewaysAndNeverByItself) {
    open();
    for (int i = 0; i < 15; ++i) press(ImGuiKey_RightArrow);
    EXPECT_FALSE(drawn("thumb:gridtunnel"));  // browsed, yet still out of view
    EXPECT_TRUE(drawn("thumb:halvane"));

    wheelAt(rect("thumb:dome").GetCenter(), -30.0f);
    EXPECT_FALSE(drawn("thumb:halvane"));
    click("thumb:vortex");
    EXPECT_EQ(state->browseIndex(), 14);
}

TEST_F(GalleryUiTest, OnlyABackgroundPressMovesTheWindow) {
    open();
    const std::pair<const char*, ImVec2> presses[] = {
        {"control panel", rect("panel:Active on Desktop").GetTL() - ImVec2(0.0f, 6.0f)},
        {"shelf between thumbnails", rect("thumb:halvane").GetTR() + ImVec2(5.0f, 10.0f)},
        {"rail icon", rect("rail:pause").GetCenter()},
        {"title pill", ImVec2(510.0f, 36.0f)},
    };
    for (const auto& [where, at] : presses) {
        SCOPED_TRACE(where);
        clickAt(at);
        EXPECT_EQ(moves, 0);
    }
    clickAt(ImVec2(400.0f, 300.0f));
    EXPECT_EQ(moves, 1);

    click("window:close");
    click("window:minimise");
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(minimises, 1);
    EXPECT_EQ(moves, 1);
}

}  // namespace
}  // namespace tavel
