#include "app/ui/gallery/item_rects.h"

namespace tavel::gallery {

void ItemRects::record(const std::string& name, const ImRect& rect) {
    building_[name] = rect;
}

void ItemRects::recordLastItem(const std::string& name) {
    record(name, ImRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax()));
}

void ItemRects::finishFrame() {
    shown_ = std::move(building_);
    building_.clear();
}

std::optional<ImRect> ItemRects::find(std::string_view name) const {
    auto it = shown_.find(name);
    if (it == shown_.end()) return std::nullopt;
    return it->second;
}

}  // namespace tavel::gallery
