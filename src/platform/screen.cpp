#include "platform/screen.h"

namespace tavel {

std::optional<std::uint32_t> displayNumberForMonitorName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace tavel
