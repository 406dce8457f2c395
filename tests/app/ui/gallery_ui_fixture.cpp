#include "gallery_ui_fixture.h"

#include "app/ui/gallery/gallery_fonts.h"

namespace tavel::test {

namespace {

// Key slots of our own in io.KeysDown, as a backend would map its key codes.
enum KeySlot { leftKey = 1, rightKey, enterKey, keypadEnterKey };

}  // namespace

GalleryUiTest::GalleryUiTest() : context_(ImGui::CreateContext()) {
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
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
    io.KeyMap[ImGuiKey_LeftArrow] = leftKey;
    io.KeyMap[ImGuiKey_RightArrow] = rightKey;
    io.KeyMap[ImGuiKey_Enter] = enterKey;
    io.KeyMap[ImGuiKey_KeyPadEnter] = keypadEnterKey;
    io.MousePos = ImVec2(-1.0f, -1.0f);
    loginItem = this;
    saverInstaller = this;
}

GalleryUiTest::~GalleryUiTest() {
    ui.reset();
    ImGui::DestroyContext(context_);
}

GalleryUi& GalleryUiTest::open() {
    make();
    ui = std::make_unique<GalleryUi>(
        *state, *this, *this,
        GalleryServices{[this] { ++wallpaperSettingsOpened; }, [this] { return progress; }, logo});
    frame();
    return *ui;
}

void GalleryUiTest::frame(int count) {
    ImGuiIO& io = ImGui::GetIO();
    for (int i = 0; i < count; ++i) {
        requests.clear();
        ImGui::NewFrame();
        ui->frame();
        ImGui::Render();
        io.MouseWheel = io.MouseWheelH = 0.0f;
    }
}

ImRect GalleryUiTest::rect(const std::string& name) {
    auto r = ui->itemRect(name);
    if (!r) ADD_FAILURE() << name << " was not drawn";
    return r.value_or(ImRect(-50.0f, -50.0f, -40.0f, -40.0f));
}

void GalleryUiTest::clickAt(ImVec2 at) {
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = at;
    frame();
    io.MouseDown[0] = true;
    frame();
    io.MouseDown[0] = false;
    frame(12);  // past the double-click time
}

void GalleryUiTest::doubleClick(const std::string& name) {
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = rect(name).GetCenter();
    frame();
    for (int i = 0; i < 2; ++i) {
        io.MouseDown[0] = true;
        frame();
        io.MouseDown[0] = false;
        frame();
    }
    frame(12);
}

void GalleryUiTest::drag(const std::string& name, float toX) {
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = rect(name).GetCenter();
    frame();
    io.MouseDown[0] = true;
    frame();
    io.MousePos.x = toX;
    frame(2);
    io.MouseDown[0] = false;
    frame(12);
}

void GalleryUiTest::wheelAt(ImVec2 at, float notches) {
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = at;
    frame();
    io.MouseWheel = notches;
    frame(2);
}

void GalleryUiTest::press(ImGuiKey key) {
    ImGuiIO& io = ImGui::GetIO();
    io.KeysDown[io.KeyMap[key]] = true;
    frame();
    io.KeysDown[io.KeyMap[key]] = false;
    frame();
}

}  // namespace tavel::test
