#pragma once
// The gallery's interface driven headless: an ImGui context without a backend, the font
// list filled with ImGui's own font, a 1020 x 660 point window at 30 frames a second,
// scripted pointer and keys, over an AppState wired to fakes. The fixture is also the
// interface's host (pictures, window controls) and the system's login item and saver.

#include "app/ui/gallery/gallery_ui.h"
#include "support/app_state_fixture.h"

#include <imgui.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

struct PictureRequest {
    std::string slot;
    std::string effect;
    int fps;
    int width;
    int height;
    bool operator==(const PictureRequest&) const = default;
};

class GalleryUiTest : public AppStateTest,
                      public GalleryPictures,
                      public GalleryWindowControls,
                      public LoginItem,
                      public SaverInstaller {
protected:
    GalleryUiTest();
    ~GalleryUiTest() override;

    // A started state and the interface over it, after its first frame.
    GalleryUi& open();
    // Runs whole frames of 1/30 s.
    void frame(int count = 1);
    // Where the item was drawn last frame; a failure when it was not.
    ImRect rect(const std::string& name);
    bool drawn(const std::string& name) const { return ui->itemRect(name).has_value(); }

    // Pointer: every gesture ends with enough still frames that the next is no double click.
    void clickAt(ImVec2 at);
    void click(const std::string& name) { clickAt(rect(name).GetCenter()); }
    void doubleClick(const std::string& name);
    // Presses on the item and lets go at x = `toX`.
    void drag(const std::string& name, float toX);
    void wheelAt(ImVec2 at, float notches);
    void press(ImGuiKey key);

    // The pictures asked for in the last frame.
    std::vector<PictureRequest> requests;
    ImTextureID texture = reinterpret_cast<ImTextureID>(1);
    float pictureAspect = 0.0f;  // 0: pictures fill their rectangles
    ImTextureID logo = nullptr;  // the application's Logo image; null: none

    int moves = 0, closes = 0, minimises = 0;
    bool rounded = true;
    bool loginOn = false, saverPresent = false;
    int wallpaperSettingsOpened = 0;
    std::optional<double> progress;
    std::unique_ptr<GalleryUi> ui;

    // GalleryPictures
    ImTextureID picture(const std::string& slot, const ShaderEffect& effect, const ShaderParams&,
                        int fps, int width, int height) override {
        requests.push_back({slot, effect.id, fps, width, height});
        return texture;
    }
    ImTextureID blurred(const std::string&) override { return texture; }
    float aspect(const std::string&) const override { return pictureAspect; }
    // GalleryWindowControls
    void beginMove() override { ++moves; }
    void close() override { ++closes; }
    void minimise() override { ++minimises; }
    bool roundedCorners() const override { return rounded; }
    // LoginItem
    bool enabled() const override { return loginOn; }
    std::string setEnabled(bool on) override { return loginOn = on, std::string(); }
    // SaverInstaller
    bool available() const override { return saverPresent; }
    std::string install(std::string& instructions) override {
        instructions = "Add this line to ~/.xscreensaver:\n  \"Tavel\" /opt/tavel/halvane -root\n";
        return {};
    }

private:
    ImGuiContext* context_;
};

}  // namespace tavel::test
