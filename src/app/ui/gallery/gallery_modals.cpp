#include "app/ui/gallery/gallery_modals.h"

#include "app/ui/gallery/gallery_theme.h"
#include "app/ui/gallery/gallery_widgets.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace tavel::gallery {

namespace {

constexpr const char* kGuideId = "##guide";
constexpr const char* kMessageId = "##message";
constexpr float kWidth = 380.0f;
constexpr float kPadding = 20.0f;
constexpr float kCopyPoints = 12.0f;
constexpr float kCopiedSeconds = 1.5f;
constexpr ImGuiWindowFlags kFlags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoSavedSettings |
                                    ImGuiWindowFlags_AlwaysAutoResize;

bool beginModal(const char* id, const GalleryFrame& frame, float width = kWidth) {
    ImGui::SetNextWindowPos(frame.window * 0.5f, ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(width, 0.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(kPadding, 18.0f));
    const bool open = ImGui::BeginPopupModal(id, nullptr, kFlags);
    ImGui::PopStyleVar();
    return open;
}

// The inside width of the dialog being drawn.
float contentWidth() {
    return ImGui::GetWindowWidth() - 2 * kPadding;
}

// `text` in lines no wider than `width`, broken only at spaces: a path or a file name
// ("~/.xscreensaver") stays whole, on a line of its own when it must.
std::vector<std::string> linesOf(std::string_view text, float width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(start, end - start);
        const std::string longer =
            line.empty() ? std::string(word) : line + ' ' + std::string(word);
        if (!line.empty() && textSize(longer.c_str()).x > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
        start = end + 1;
    }
    lines.push_back(line);
    return lines;
}

void wrappedText(std::string_view text, FontWeight weight, float points, float alpha) {
    FontScope font(FontFace::text, weight, points);
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1, 1, 1, alpha));
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        for (const std::string& line : linesOf(text.substr(start, end - start), contentWidth()))
            ImGui::TextUnformatted(line.c_str());
        start = end + 1;
    }
    ImGui::PopStyleColor();
}

// Buttons at the trailing end, the first (the default) rightmost. The index clicked, or -1.
int buttons(GalleryFrame& frame, const char* prefix, std::initializer_list<const char*> labels) {
    FontScope font(FontFace::text, FontWeight::regular, 13);
    ImGui::Dummy(ImVec2(0.0f, 14.0f));
    const float y = ImGui::GetCursorScreenPos().y;
    float right = ImGui::GetWindowPos().x + ImGui::GetWindowWidth() - kPadding;
    int clicked = -1, index = 0;
    for (const char* label : labels) {
        const ImVec2 size = textSize(label) + ImVec2(24.0f, 10.0f);
        right -= size.x;
        ImGui::SetCursorScreenPos(ImVec2(right, y));
        const ImU32 fill = index == 0 ? colour(frame.state.accent()) : white(0.14f);
        if (textButton(label, size, fill, white(1.0f), 6.0f)) clicked = index;
        frame.items.recordLastItem(std::string(prefix) + label);
        right -= 8.0f;
        ++index;
    }
    return clicked;
}

struct MessageLine {
    std::string text;
    bool toCopy;
};

std::vector<MessageLine> messageLines(std::string_view text) {
    std::vector<MessageLine> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        if (line.starts_with("  "))
            lines.push_back({std::string(line.substr(2)), true});
        else
            lines.push_back({std::string(line), false});
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

// The copy button's size, in the monospace face's line.
ImVec2 copyButtonSize() {
    FontScope font(FontFace::text, FontWeight::regular, 11);
    return textSize("Copied") + ImVec2(16.0f, 6.0f);
}

}  // namespace

void GalleryModals::draw(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings) {
    if (guideWanted_) ImGui::OpenPopup(kGuideId), guideWanted_ = false;
    guide(frame, openWallpaperSettings);
    if (messageWanted_ && !ImGui::IsPopupOpen(kGuideId))
        ImGui::OpenPopup(kMessageId), messageWanted_ = false;
    message(frame);
}

void GalleryModals::guide(GalleryFrame& frame, const std::function<void()>& openWallpaperSettings) {
    if (!beginModal(kGuideId, frame)) return;
    wrappedText("One-time setup for Live Lock Screen", FontWeight::bold, 13, 1.0f);
    ImGui::Dummy(ImVec2(0.0f, 6.0f));
    wrappedText(
        "Lock screens on Linux play motion only through a video saver, such as "
        "xsecurelock's. Tavel streams your backdrop into the video slot in your Videos folder "
        "that such savers play.\n\nSet up your screen locker to play that video once. After "
        "that, your Lock Screen always follows your backdrop automatically.",
        FontWeight::regular, 11, 0.8f);
    const int clicked = buttons(frame, "guide:", {"Open Background Settings", "Later"});
    if (clicked == 0 && openWallpaperSettings) openWallpaperSettings();
    if (clicked >= 0) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

void GalleryModals::message(GalleryFrame& frame) {
    const std::vector<MessageLine> lines = messageLines(message_);
    const ImVec2 button = copyButtonSize();
    constexpr float kInset = 8.0f, kGap = 8.0f;
    // Wide enough for the longest line to copy, as far as the window allows.
    float width = kWidth;
    {
        FontScope mono(FontFace::mono, FontWeight::regular, kCopyPoints);
        for (const MessageLine& line : lines)
            if (line.toCopy)
                width = std::max(width, textSize(line.text.c_str()).x + 2 * kInset + kGap +
                                            button.x + 2 * kPadding);
    }
    width = std::min(width, std::max(kWidth, frame.window.x - 2 * kPadding));
    if (!beginModal(kMessageId, frame, width)) return;
    if (copiedSeconds_ > 0.0f) copiedSeconds_ -= frame.dt;

    int index = 0;
    for (const MessageLine& line : lines) {
        if (!line.toCopy) {
            wrappedText(line.text, FontWeight::regular, 13, 0.9f);
            continue;
        }
        ImGui::PushID(index++);
        ImGui::Dummy(ImVec2(0.0f, 3.0f));
        const ImVec2 at = ImGui::GetCursorScreenPos();
        const float field = contentWidth() - kGap - button.x;
        {
            // The line on a well of its own, never wrapped; one longer than the widest
            // dialog scrolls sideways rather than break.
            FontScope mono(FontFace::mono, FontWeight::regular, kCopyPoints);
            const ImVec2 text = textSize(line.text.c_str());
            const bool fits = text.x + 2 * kInset <= field;
            const float height = text.y + 10.0f;
            ImGui::GetWindowDrawList()->AddRectFilled(at, at + ImVec2(field, height), white(0.07f),
                                                      6.0f);
            ImGui::BeginChild(
                "##line", ImVec2(field, height + (fits ? 0.0f : ImGui::GetStyle().ScrollbarSize)),
                false,
                ImGuiWindowFlags_NoBackground |
                    (fits ? ImGuiWindowFlags_NoScrollbar : ImGuiWindowFlags_HorizontalScrollbar));
            ImGui::SetCursorPos(ImVec2(kInset, 5.0f));
            ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1, 1, 1, 0.9f));
            ImGui::TextUnformatted(line.text.c_str());
            ImGui::PopStyleColor();
            ImGui::Dummy(ImVec2(kInset, 0.0f));
            ImGui::EndChild();
        }
        const ImVec2 after = ImGui::GetCursorScreenPos();
        ImGui::SetCursorScreenPos(
            ImVec2(at.x + field + kGap, at.y + (ImGui::GetItemRectSize().y - button.y) * 0.5f));
        {
            FontScope font(FontFace::text, FontWeight::regular, 11);
            const bool justCopied = copiedSeconds_ > 0.0f && copied_ == line.text;
            if (textButton(justCopied ? "Copied###copy" : "Copy###copy", button, white(0.14f),
                           white(0.9f), 6.0f)) {
                // The GLFW backend hands this to the X clipboard.
                ImGui::SetClipboardText(line.text.c_str());
                copied_ = line.text;
                copiedSeconds_ = kCopiedSeconds;
            }
            frame.items.recordLastItem("message:copy:" + line.text);
        }
        ImGui::SetCursorScreenPos(after);
        ImGui::Dummy(ImVec2(0.0f, 3.0f));
        ImGui::PopID();
    }
    if (buttons(frame, "message:", {"OK"}) == 0) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

}  // namespace tavel::gallery
