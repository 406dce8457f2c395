#include "app/ui/gallery/settings_pane.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace tavel::gallery {

namespace {

const ImVec2 kSize(340.0f, 560.0f);
constexpr float kPadding = 16.0f;
constexpr float kRowHeight = 32.0f;
constexpr float kArrow = 10.0f;
constexpr float kMargin = 8.0f;
constexpr float kComboWidth = 150.0f;

using Choices = std::vector<std::pair<std::string, std::int64_t>>;
const Choices kShuffleChoices = {
    {"Off", 0}, {"Every 5 min", 5}, {"Every 15 min", 15}, {"Every 30 min", 30}, {"Every hour", 60}};
const Choices kIdleChoices = {{"Off", 0},         {"Always", -1},       {"After 1 min", 1},
                              {"After 5 min", 5}, {"After 10 min", 10}, {"After 15 min", 15}};
const std::vector<std::string> kFrameRates = {"15 fps", "30 fps", "60 fps"};
constexpr std::int64_t kFrameRateValues[] = {15, 30, 60};

// One grouped section of the form: a header, then rows on a rounded backing with
// hairlines between them. The backing is drawn after the rows, on a channel below them.
class Section {
public:
    Section(GalleryFrame& frame, const char* header, float left, float width)
        : frame_(frame), left_(left), width_(width) {
        FontScope font(FontFace::text, FontWeight::medium, 11);
        const ImVec2 at = ImGui::GetCursorScreenPos();
        ImGui::GetWindowDrawList()->AddText(ImVec2(left + 4.0f, at.y), white(0.5f), header);
        ImGui::Dummy(ImVec2(width, ImGui::GetTextLineHeight() + 6.0f));
        top_ = ImGui::GetCursorScreenPos().y;
        ImGui::GetWindowDrawList()->ChannelsSplit(2);
        ImGui::GetWindowDrawList()->ChannelsSetCurrent(1);
    }
    ~Section() {
        ImDrawList* list = ImGui::GetWindowDrawList();
        list->ChannelsSetCurrent(0);
        list->AddRectFilled(ImVec2(left_, top_), ImVec2(left_ + width_, y()), white(0.06f), 9.0f);
        list->ChannelsMerge();
        ImGui::Dummy(ImVec2(width_, 14.0f));
    }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    // Starts a row labelled `label`; the cursor is left where a control `control` wide and
    // `height` high sits at the row's trailing end.
    void row(const char* label, float control, float height, float labelAlpha = 0.9f) {
        const float y0 = y();
        ImDrawList* list = ImGui::GetWindowDrawList();
        if (rows_++ > 0)
            list->AddLine(ImVec2(left_ + 12.0f, y0), ImVec2(left_ + width_, y0), white(0.07f));
        FontScope font(FontFace::text, FontWeight::regular, 13);
        list->AddText(ImVec2(left_ + 12.0f, y0 + (kRowHeight - ImGui::GetTextLineHeight()) * 0.5f),
                      white(labelAlpha), label);
        ImGui::SetCursorScreenPos(
            ImVec2(left_ + width_ - 12.0f - control, y0 + (kRowHeight - height) * 0.5f));
        next_ = y0 + kRowHeight;
    }
    // Whether the pointer is on the current row, its label as much as its control: a
    // row's tooltip belongs to the whole row.
    bool rowHovered() const {
        return ImGui::IsWindowHovered() &&
               ImGui::IsMouseHoveringRect(ImVec2(left_, next_ - kRowHeight),
                                          ImVec2(left_ + width_, next_));
    }
    // Ends the row: the cursor goes below it.
    void endRow() {
        ImGui::SetCursorScreenPos(ImVec2(left_, next_));
        ImGui::Dummy(ImVec2(width_, 0.0f));
    }
    GalleryFrame& frame() { return frame_; }
    float left() const { return left_; }
    float width() const { return width_; }

private:
    float y() const { return ImGui::GetCursorScreenPos().y; }
    GalleryFrame& frame_;
    float left_, width_, top_ = 0.0f, next_ = 0.0f;
    int rows_ = 0;
};

void toggleRow(Section& section, const char* label, bool on, const std::function<void(bool)>& set,
               const char* tooltip = nullptr, bool enabled = true) {
    const float alpha = ImGui::GetStyle().Alpha;
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, enabled ? alpha : alpha * 0.4f);
    section.row(label, 32.0f, 18.0f);
    ImGui::BeginDisabled(!enabled);
    if (toggleSwitch((std::string("##") + label).c_str(), on, section.frame().state.accent()))
        set(!on);
    ImGui::EndDisabled();
    ImGui::PopStyleVar();
    section.frame().items.recordLastItem(std::string("settings:") + label);
    if (tooltip) delayedTooltip(tooltip, section.rowHovered());
    section.endRow();
}

// A pop-up picker of labelled values; `current` with no matching item shows empty.
template <typename T>
void pickerRow(Section& section, const char* label,
               const std::vector<std::pair<std::string, T>>& items, const T& current,
               const std::function<void(const T&)>& set, const char* tooltip = nullptr) {
    section.row(label, kComboWidth, ImGui::GetFrameHeight());
    std::string preview;
    for (const auto& [text, value] : items)
        if (value == current) preview = text;
    const std::string name = std::string("settings:") + label;
    ImGui::SetNextItemWidth(kComboWidth);
    const bool open = ImGui::BeginCombo((std::string("##") + label).c_str(), preview.c_str());
    section.frame().items.recordLastItem(name);
    if (tooltip) delayedTooltip(tooltip, section.rowHovered());
    if (open) {
        for (const auto& [text, value] : items) {
            if (ImGui::Selectable(text.c_str(), value == current) && value != current) set(value);
            section.frame().items.recordLastItem(name + ":" + text);
        }
        ImGui::EndCombo();
    }
    section.endRow();
}

// The popover's arrow on its leading edge, its tip at `tip`.
void popoverArrow(ImVec2 tip) {
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->PushClipRectFullScreen();
    const ImVec2 a = tip + ImVec2(kArrow + 1.0f, -kArrow), b = tip + ImVec2(kArrow + 1.0f, kArrow);
    list->AddTriangleFilled(tip, b, a, ImGui::GetColorU32(ImGuiCol_PopupBg));
    list->AddLine(tip, a, ImGui::GetColorU32(ImGuiCol_Border));
    list->AddLine(tip, b, ImGui::GetColorU32(ImGuiCol_Border));
    list->PopClipRect();
}

}  // namespace

void SettingsPane::toggle() {
    // While it is open, the press on the gear is outside the popover and closes it before
    // the gear sees a click; so a click reaching here always opens.
    ImGui::OpenPopup(kPopupId);
}

void SettingsPane::draw(GalleryFrame& frame, const ImRect& gear, const SettingsActions& actions) {
    const float middle = gear.GetCenter().y;
    const float maxY = std::max(kMargin, frame.window.y - kMargin - kSize.y);
    const ImVec2 at(gear.Max.x + kArrow + 2.0f, std::clamp(middle - kSize.y * 0.5f, kMargin, maxY));
    ImGui::SetNextWindowPos(at, ImGuiCond_Always);
    ImGui::SetNextWindowSize(kSize, ImGuiCond_Always);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(kPadding, kPadding));
    const bool open =
        ImGui::BeginPopup(kPopupId, ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize |
                                        ImGuiWindowFlags_NoScrollbar);
    ImGui::PopStyleVar();
    if (!open) return;
    popoverArrow(ImVec2(gear.Max.x + 2.0f, middle));
    form(frame, actions);
    ImGui::EndPopup();
}

void SettingsPane::form(GalleryFrame& frame, const SettingsActions& actions) {
    AppState& state = frame.state;
    const AppSettings settings = state.settings();
    const float left = ImGui::GetCursorScreenPos().x;
    const float width = kSize.x - 2 * kPadding;
    auto update = [&state](auto change) { state.updateSettings(change); };

    if (state.displays().size() > 1) {
        Section section(frame, "Displays", left, width);
        std::vector<std::pair<std::string, std::string>> targets = {{"All Displays", kAllDisplays}};
        for (const DisplayInfo& display : state.displays())
            targets.emplace_back(display.name, display.key);
        pickerRow<std::string>(
            section, "Apply to", targets, state.selectedDisplayTarget(),
            [&](const std::string& key) { state.setSelectedDisplayTarget(key); });
    }
    {
        Section section(frame, "Playback", left, width);
        section.row("Frame rate", 150.0f, 22.0f);
        int selected = -1;
        for (int i = 0; i < 3; ++i)
            if (kFrameRateValues[i] == settings.fps) selected = i;
        const int picked = segmented("##fps", kFrameRates, selected, 150.0f, 22.0f, frame.items,
                                     "settings:Frame rate");
        if (picked >= 0 && kFrameRateValues[picked] != settings.fps)
            update([&](AppSettings& s) { s.fps = kFrameRateValues[picked]; });
        section.endRow();
        toggleRow(section, "Full resolution on HiDPI screens", settings.retinaQuality,
                  [&](bool on) { update([&](AppSettings& s) { s.retinaQuality = on; }); });
        toggleRow(section, "Pause in power-saver mode", settings.pauseOnLowPower,
                  [&](bool on) { update([&](AppSettings& s) { s.pauseOnLowPower = on; }); });
        pickerRow<std::int64_t>(
            section, "Shuffle", kShuffleChoices, settings.shuffleMinutes,
            [&](const std::int64_t& v) { update([&](AppSettings& s) { s.shuffleMinutes = v; }); });
    }
    {
        Section section(frame, "Lock Screen & Screen Saver", left, width);
        toggleRow(
            section, "Match Lock Screen wallpaper", settings.syncLockScreen,
            [&](bool on) { update([&](AppSettings& s) { s.syncLockScreen = on; }); },
            "Sets a matching still as the system wallpaper so the Lock Screen shows your "
            "backdrop",
            !settings.liveLockVideo);
        toggleRow(
            section, "Live Lock Screen (beta)", settings.liveLockVideo,
            [&](bool on) { update([&](AppSettings& s) { s.liveLockVideo = on; }); },
            "Streams your backdrop into the lock screen's video slot in your Videos folder, so "
            "screen lockers that play it animate. One-time setup of the locker required.");
        if (const auto progress =
                actions.lockVideoProgress ? actions.lockVideoProgress() : std::nullopt) {
            const ImVec2 at = ImGui::GetCursorScreenPos() + ImVec2(12.0f, 6.0f);
            ImDrawList* list = ImGui::GetWindowDrawList();
            FontScope font(FontFace::text, FontWeight::regular, 10);
            list->AddText(at, white(0.55f), "Rendering Lock Screen video\u2026");
            const float barY = at.y + ImGui::GetTextLineHeight() + 3.0f;
            const float barWidth = width - 24.0f;
            const float p = static_cast<float>(std::clamp(*progress, 0.0, 1.0));
            list->AddRectFilled(ImVec2(at.x, barY), ImVec2(at.x + barWidth, barY + 4.0f),
                                white(0.12f), 2.0f);
            list->AddRectFilled(ImVec2(at.x, barY), ImVec2(at.x + barWidth * p, barY + 4.0f),
                                colour(state.accent()), 2.0f);
            section.frame().items.record("settings:progress",
                                         ImRect(at, ImVec2(at.x + barWidth, barY + 4.0f)));
            ImGui::SetCursorScreenPos(ImVec2(left, barY + 4.0f + 8.0f));
            ImGui::Dummy(ImVec2(width, 0.0f));
        }
        auto buttonRow = [&](const char* label, const std::function<void()>& action) {
            FontScope font(FontFace::text, FontWeight::regular, 13);
            const ImVec2 size = textSize(label) + ImVec2(20.0f, 8.0f);
            section.row("", size.x, size.y);
            if (textButton(label, size, white(0.12f), white(0.9f), 6.0f)) action();
            frame.items.recordLastItem(std::string("settings:") + label);
            section.endRow();
        };
        if (settings.liveLockVideo)
            buttonRow("Open Background Settings\u2026", [&] {
                if (actions.openWallpaperSettings) actions.openWallpaperSettings();
            });
        pickerRow<std::int64_t>(
            section, "Animate when idle", kIdleChoices, settings.idleAnimateMinutes,
            [&](const std::int64_t& v) {
                update([&](AppSettings& s) { s.idleAnimateMinutes = v; });
            },
            "Tavel's own screensaver: the live wallpaper takes over the screen when you're away "
            "\u2014 works for every backdrop");
        if (state.saverEmbedded())
            buttonRow("Install Screen Saver\u2026", [&] {
                std::string text = state.installScreenSaver();
                ImGui::CloseCurrentPopup();
                if (!text.empty() && actions.showMessage) actions.showMessage(std::move(text));
            });
    }
    {
        Section section(frame, "General", left, width);
        toggleRow(section, "Launch at login", state.launchAtLogin(),
                  [&](bool on) { state.setLaunchAtLogin(on); });
        toggleRow(section, "Show in taskbar", settings.showDockIcon,
                  [&](bool on) { update([&](AppSettings& s) { s.showDockIcon = on; }); });
        // Only where a desktop program hides the effect (or the choice was made).
        const std::string hiddenBy = state.desktopHiddenBy();
        if (!hiddenBy.empty() || settings.coverDesktopIcons) {
            const std::string tip =
                (hiddenBy.empty() ? std::string("The desktop program") : hiddenBy) +
                " paints its own desktop over Tavel's effect. Cover it to show the effect: its "
                "icons are then hidden, and clicks still reach the desktop.";
            toggleRow(
                section, "Cover desktop icons", settings.coverDesktopIcons,
                [&](bool on) { update([&](AppSettings& s) { s.coverDesktopIcons = on; }); },
                tip.c_str());
        }
    }
}

}  // namespace tavel::gallery
