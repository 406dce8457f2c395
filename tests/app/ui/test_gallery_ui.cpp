// The gallery headless (ImGui without a backend, 1020 x 660 at 30 fps, scripted input).

#include "app/ui/gallery/gallery_fonts.h"
#include "app/ui/gallery/gallery_ui.h"
#include "support/app_state_fixture.h"

#include <imgui.h>

#include <algorithm>
#include <functional>

namespace tavel {
namespace {

struct PictureRequest {
    std::string slot, effect;
    int fps, width, height;
    bool operator==(const PictureRequest&) const = default;
};

class GalleryUiTest : public test::AppStateTest,
                      public GalleryPictures,
                      public GalleryWindowControls,
                      public LoginItem,
                      public SaverInstaller {
protected:
    GalleryUiTest() : context_(ImGui::CreateContext()) {
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = io.LogFilename = nullptr;
        io.DisplaySize = ImVec2(1020.0f, 660.0f);
        io.DeltaTime = 1.0f / 30.0f;
        for (const FontSpec& font : kGalleryFonts) {
            ImFontConfig config;
            config.SizePixels = font.points;
            io.Fonts->AddFontDefault(&config);
        }
        unsigned char* pixels = nullptr;
        int width = 0, height = 0;
        io.Fonts->GetTexDataAsAlpha8(&pixels, &width, &height);
        // Key slots of our own, as a backend maps its key codes.
        const ImGuiKey keys[] = {ImGuiKey_LeftArrow, ImGuiKey_RightArrow, ImGuiKey_Enter};
        for (int i = 0; i < 3; ++i) io.KeyMap[keys[i]] = i + 1;
        io.MousePos = ImVec2(-1.0f, -1.0f);
        loginItem = this;
        saverInstaller = this;
    }
    ~GalleryUiTest() override {
        ui.reset();
        ImGui::DestroyContext(context_);
    }

    // A started state and the interface over it, after its first frame.
    void open() {
        make();
        ui = std::make_unique<GalleryUi>(
            *state, *this, *this,
            GalleryServices{[this] { ++wallpaperSettingsOpened; },
                            [] { return std::optional<double>(); }, logo});
        frame();
    }
    void frame(int count = 1) {
        for (int i = 0; i < count; ++i) {
            requests.clear();
            ImGui::NewFrame();
            ui->frame();
            ImGui::Render();
            ImGui::GetIO().MouseWheel = 0.0f;
        }
    }
    // Where the item was drawn last frame; a failure when it was not.
    ImRect rect(const std::string& name) {
        auto r = ui->itemRect(name);
        if (!r) ADD_FAILURE() << name << " was not drawn";
        return r.value_or(ImRect(-50.0f, -50.0f, -40.0f, -40.0f));
    }
    bool drawn(const std::string& name) const { return ui->itemRect(name).has_value(); }

    // Pointer: every gesture ends with enough still frames that the next is no double click.
    void mouse(ImVec2 at, bool down, int frames = 1) {
        ImGui::GetIO().MousePos = at;
        ImGui::GetIO().MouseDown[0] = down;
        frame(frames);
    }
    void clickAt(ImVec2 at) {
        mouse(at, false);
        mouse(at, true);
        mouse(at, false, 12);
    }
    void click(const std::string& name) { clickAt(rect(name).GetCenter()); }
    void doubleClick(const std::string& name) {
        const ImVec2 at = rect(name).GetCenter();
        mouse(at, false);
        mouse(at, true);
        clickAt(at);
    }
    // Presses on the item and lets go at x = `toX`.
    void drag(const std::string& name, float toX) {
        const ImVec2 at = rect(name).GetCenter(), to(toX, at.y);
        mouse(at, false);
        mouse(at, true);
        mouse(to, true, 2);
        mouse(to, false, 12);
    }
    void press(ImGuiKey key) {
        ImGuiIO& io = ImGui::GetIO();
        io.KeysDown[io.KeyMap[key]] = true;
        frame();
        io.KeysDown[io.KeyMap[key]] = false;
        frame();
    }

    std::vector<PictureRequest> requests;  // the pictures asked for in the last frame
    ImTextureID texture = reinterpret_cast<ImTextureID>(1);
    float pictureAspect = 0.0f;  // 0: pictures fill their rectangles
    ImTextureID logo = nullptr;  // the application's Logo image; null: none
    int moves = 0, minimises = 0, wallpaperSettingsOpened = 0;
    bool loginOn = false, saverPresent = false;
    std::unique_ptr<GalleryUi> ui;

    ImTextureID picture(const std::string& slot, const ShaderEffect& effect, const ShaderParams&,
                        int fps, int width, int height) override {
        requests.push_back({slot, effect.id, fps, width, height});
        return texture;
    }
    ImTextureID blurred(const std::string&) override { return texture; }
    float aspect(const std::string&) const override { return pictureAspect; }
    void beginMove() override { ++moves; }
    void close() override {}
    void minimise() override { ++minimises; }
    bool roundedCorners() const override { return true; }
    bool enabled() const override { return loginOn; }
    Result<void> setEnabled(bool on) override {
        loginOn = on;
        return {};
    }
    bool available() const override { return saverPresent; }
    Result<std::string> install() override {
        return std::string(
            "Add this line to ~/.xscreensaver:\n  \"Tavel\" /opt/tavel/halvane -root\n");
    }

private:
    ImGuiContext* context_;
};

// Browsing moves the stage, never the desktop nor the shelf by itself; applying does.
TEST_F(GalleryUiTest, BrowsingTheShelfAndTheRail) {
    randomIndex = [](std::size_t) { return std::size_t{2}; };  // of the effects not shown
    open();
    EXPECT_TRUE(drawn("panel:Active on Desktop"));
    click("thumb:neontopo");
    EXPECT_EQ(state->browseIndex(), 1);
    press(ImGuiKey_RightArrow);
    EXPECT_EQ(state->browseIndex(), 2);
    EXPECT_FALSE(drawn("panel:Active on Desktop"));
    for (int i = 0; i < 3; ++i) press(ImGuiKey_LeftArrow);
    EXPECT_EQ(state->browseIndex(), 15);  // wrapped round by the state
    EXPECT_EQ(shown(), "halvane halvane");

    mouse(rect("thumb:dome").GetCenter(), false);
    ImGui::GetIO().MouseWheel = -30.0f;
    frame(2);
    EXPECT_FALSE(drawn("thumb:halvane"));
    click("thumb:vortex");
    EXPECT_EQ(state->browseIndex(), 14);

    click("rail:shuffle");
    EXPECT_EQ(state->browseIndex(), 3);
    EXPECT_EQ(shown(), "filament filament");
    click("rail:pause");
    EXPECT_TRUE(state->settings().paused);
    click("rail:pause");
    EXPECT_FALSE(state->settings().paused);

    // Applying: a double click (the first click browses), the button.
    doubleClick("thumb:vortex");
    EXPECT_EQ(shown(), "vortex vortex");
    press(ImGuiKey_RightArrow);
    click("panel:Set as Wallpaper");
    EXPECT_EQ(state->settings().globalShaderID, state->browsedEffect().id);
}

// Pictures are asked for while on screen; the Logo shows; a 960 x 600 still keeps its shape.
TEST_F(GalleryUiTest, PicturesAreAskedForWhileOnScreenAndFittedUnstretched) {
    ImGui::GetIO().DisplayFramebufferScale = ImVec2(2.0f, 2.0f);
    logo = reinterpret_cast<ImTextureID>(7);
    open();
    auto asked = [this](const std::string& slot) {
        return std::ranges::count(requests, slot, &PictureRequest::slot) == 1;
    };
    EXPECT_TRUE(
        std::ranges::count(requests, PictureRequest{"stage:halvane", "halvane", 30, 2040, 1320}));
    EXPECT_TRUE(std::ranges::count(requests, PictureRequest{"thumb:dome", "dome", 12, 236, 144}));
    EXPECT_FALSE(asked("thumb:gridtunnel"));  // scrolled out of the shelf

    press(ImGuiKey_RightArrow);  // two frames into the 0.6 s cross-fade
    EXPECT_TRUE(asked("stage:halvane") && asked("stage:neontopo"));
    frame(18);
    EXPECT_FALSE(asked("stage:halvane"));
    EXPECT_TRUE(asked("stage:neontopo"));

    pictureAspect = 1.6f;
    frame();
    const ImDrawData* data = ImGui::GetDrawData();
    bool logoDrawn = false;
    for (int i = 0; i < data->CmdListsCount; ++i)
        for (const ImDrawCmd& command : data->CmdLists[i]->CmdBuffer)
            logoDrawn |= command.TextureId == logo;
    EXPECT_TRUE(logoDrawn);
    const ImRect stage = rect("stage:picture");
    EXPECT_FLOAT_EQ(stage.Min.x, 0.0f);
    EXPECT_FLOAT_EQ(stage.GetWidth(), 1020.0f);
    EXPECT_FLOAT_EQ(stage.GetHeight(), 637.5f);
    EXPECT_FLOAT_EQ(stage.GetCenter().y, 330.0f);
}

TEST_F(GalleryUiTest, OnlyABackgroundPressMovesTheWindow) {
    open();
    clickAt(rect("panel:Active on Desktop").GetTL() - ImVec2(0.0f, 6.0f));  // the control panel
    EXPECT_EQ(moves, 0);
    clickAt(ImVec2(400.0f, 300.0f));
    EXPECT_EQ(moves, 1);
    click("window:minimise");
    EXPECT_EQ(minimises, 1);
    EXPECT_EQ(moves, 1);
}

// Only the selected tab's sliders take input, though the others' bodies stay in place.
TEST_F(GalleryUiTest, EditsGoToTheBrowsedEffectWithinTheirLimits) {
    const std::pair<const char*, const char*> sliders[] = {
        {"tab:Motion", "slider:Speed"},  {"tab:Motion", "slider:Zoom"},
        {"tab:Motion", "slider:Glow"},   {"tab:Motion", "slider:Hue"},
        {"tab:Style", "slider:Density"}, {"tab:Style", "slider:Lake"},  // Neon Terrain's own
    };
    // Speed, zoom, glow, hue, no colours, density, lake.
    const ShaderParams lowest{0.1f, 0.4f, 0.3f, -180.0f, {}, {}, 18.0f, 0.05f};
    const ShaderParams highest{3.0f, 2.5f, 1.8f, 180.0f, {}, {}, 50.0f, 0.32f};
    open();
    click("thumb:neontopo");
    for (const auto& [toX, limits] : {std::pair{0.0f, lowest}, std::pair{1020.0f, highest}}) {
        for (const auto& [tab, slider] : sliders) {
            click(tab);
            drag(slider, toX);
        }
        EXPECT_EQ(state->params("neontopo"), limits) << toX;
    }

    click("tab:Motion");
    const ImRect speed = rect("slider:Speed");
    click("tab:Colors");
    EXPECT_FALSE(drawn("slider:Speed"));
    clickAt(ImVec2(speed.Min.x + 2.0f, speed.GetCenter().y));  // where the faded slider is
    EXPECT_EQ(state->params("neontopo").speed, 3.0f);

    click("swatch:Accent");
    click("preset:10");
    EXPECT_EQ(state->params("neontopo").accent, (std::vector<float>{0.02f, 0.02f, 0.03f}));
    clickAt(ImVec2(400.0f, 300.0f));  // closes the palette
    click("panel:Reset to defaults");
    EXPECT_EQ(state->params("neontopo"), ShaderParams{});
    EXPECT_EQ(stored().params.count("neontopo"), 0u);
}

// The settings popover has the keyboard and stays open while its values change.
TEST_F(GalleryUiTest, SettingsStoreTheirValues) {
    auto settings = [this] { return state->settings(); };
    const std::tuple<const char*, const char*, std::function<bool()>> picks[] = {
        {"Shuffle", "Every 15 min", [&] { return settings().shuffleMinutes == 15; }},
        {"Animate when idle", "After 10 min", [&] { return settings().idleAnimateMinutes == 10; }},
        {"Apply to", "Right", [this] { return state->selectedDisplayTarget() == "2"; }},
        {"Frame rate", "15 fps", [&] { return settings().fps == 15; }},
    };
    const std::pair<const char*, std::function<bool()>> toggles[] = {
        {"Full resolution on HiDPI screens", [&] { return settings().retinaQuality; }},
        {"Pause in power-saver mode", [&] { return settings().pauseOnLowPower; }},
        {"Show in taskbar", [&] { return settings().showDockIcon; }},
        {"Launch at login", [this] { return loginOn; }},
        {"Match Lock Screen wallpaper", [&] { return settings().syncLockScreen; }},
    };
    open();
    click("rail:settings");
    press(ImGuiKey_Enter);
    EXPECT_EQ(calls("apply Left"), 0);
    for (const auto& [picker, item, holds] : picks) {
        SCOPED_TRACE(item);
        const std::string row = std::string("settings:") + picker;
        if (drawn(row)) click(row);  // a menu; the frame rates are buttons in the row
        click(row + ":" + item);
        EXPECT_TRUE(holds());
        EXPECT_TRUE(drawn("settings:Full resolution on HiDPI screens"));  // still open
    }
    EXPECT_EQ(stored().idleAnimateMinutes, 10);
    for (const auto& [label, value] : toggles) {
        SCOPED_TRACE(label);
        const bool before = value();
        click(std::string("settings:") + label);
        EXPECT_NE(value(), before);
        click(std::string("settings:") + label);
        EXPECT_EQ(value(), before);
    }

    // Offered only where a desktop program hides the effect; chosen, the windows cover it.
    EXPECT_FALSE(drawn("settings:Cover desktop icons"));
    view("Left").hiddenBy = "Xfdesktop";
    frame();
    click("settings:Cover desktop icons");
    EXPECT_TRUE(settings().coverDesktopIcons);
    EXPECT_TRUE(view("Left").cover && view("Right").cover);
}

// The live lock screen disables the still's switch; the saver's install line is copied whole.
TEST_F(GalleryUiTest, LiveLockScreenAndTheSaversInstall) {
    saverPresent = true;  // read when the state starts
    open();
    click("rail:settings");
    click("settings:Live Lock Screen (beta)");
    EXPECT_TRUE(state->settings().liveLockVideo);
    click("settings:Match Lock Screen wallpaper");
    EXPECT_TRUE(state->settings().syncLockScreen);  // disabled: unchanged
    click("settings:Open Background Settings…");
    EXPECT_EQ(wallpaperSettingsOpened, 1);

    click("settings:Install Screen Saver…");
    // The line to copy goes to the clipboard whole, without the indent that marks it.
    click("message:copy:\"Tavel\" /opt/tavel/halvane -root");
    EXPECT_STREQ(ImGui::GetClipboardText(), "\"Tavel\" /opt/tavel/halvane -root");
    click("message:OK");
    EXPECT_FALSE(drawn("message:OK"));
}

}  // namespace
}  // namespace tavel
