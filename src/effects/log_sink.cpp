#include "effects/log_sink.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>

namespace tavel {

void SystemLogSink::write(std::string_view line) {
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
    if (isatty(STDERR_FILENO))
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void MemoryLogSink::write(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> MemoryLogSink::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

LogSink& systemLog() {
    static SystemLogSink sink;
    return sink;
}

}  // namespace tavel
