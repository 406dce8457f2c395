#include "effects/log_sink.h"

namespace tavel {

void MemoryLogSink::write(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> MemoryLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string oneLine(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    std::string joined;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::size_t first = line.find_first_not_of(kSpace);
        if (first == std::string_view::npos) continue;
        line = line.substr(first, line.find_last_not_of(kSpace) - first + 1);
        if (!joined.empty()) joined += "; ";
        joined += line;
    }
    return joined;
}

}  // namespace tavel
