#include "platform/system_log.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdio>

namespace tavel {

void SystemLogSink::write(std::string_view line) {
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
    if (isatty(STDERR_FILENO))
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

LogSink& systemLog() {
    static SystemLogSink sink;
    return sink;
}

}  // namespace tavel
