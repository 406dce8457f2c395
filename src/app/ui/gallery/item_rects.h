#pragma once
// Where the gallery drew its actionable items in the last whole frame, by name
// ("thumb:<id>", "rail:shuffle", "slider:Speed", "settings:Frame rate:60 fps", ...), for
// tests that aim the pointer and for the host.

#include <imgui.h>
#include <imgui_internal.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavel::gallery {

class ItemRects {
public:
    void record(const std::string& name, const ImRect& rect);
    // The item ImGui placed last.
    void recordLastItem(const std::string& name);
    // What was recorded since the last call becomes what find() answers.
    void finishFrame();
    std::optional<ImRect> find(std::string_view name) const;

private:
    std::map<std::string, ImRect, std::less<>> building_;
    std::map<std::string, ImRect, std::less<>> shown_;
};

}  // namespace tavel::gallery
