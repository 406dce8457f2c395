#pragma once
// Text as the bytes that files and stored values hold.

#include <cstdint>
#include <span>
#include <string_view>

namespace tavel {

inline std::span<const std::uint8_t> textBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace tavel
