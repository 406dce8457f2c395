#pragma once
// One attached screen as the platform reports it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavel {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct ScreenRecord {
    // Stable across restarts for the same connector; absent when the platform has none.
    std::optional<std::uint32_t> number;
    std::string name;    // localized name shown to the user
    Rect frame;          // in points; the origin may be negative
    double scale = 1.0;  // pixels per point

    bool operator==(const ScreenRecord&) const = default;
};

// The number of a monitor with this connector name ("DP-1"): 32-bit FNV-1a of the
// name; nothing for an unnamed monitor.
std::optional<std::uint32_t> displayNumberForMonitorName(std::string_view name);

}  // namespace tavel
