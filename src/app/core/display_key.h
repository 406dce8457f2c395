#pragma once
// How displays are named: the display key, and the record the interface lists.

#include "platform/screen.h"

#include <string>

namespace tavel {

// Stands for every display at once, where a display key is expected.
inline constexpr const char* kAllDisplays = "all";

// The decimal text of the screen's number; "0" when it has none.
std::string displayKey(const ScreenRecord& screen);

struct DisplayInfo {
    std::string key;
    std::string name;

    const std::string& id() const { return key; }
    bool operator==(const DisplayInfo&) const = default;
};

}  // namespace tavel
