#pragma once
// The application's log: syslog(3), so the journal keeps the lines, and standard error
// as well when that is a terminal.

#include "effects/log_sink.h"

namespace tavel {

class SystemLogSink final : public LogSink {
public:
    void write(std::string_view line) override;
};

// The process-wide system sink, for code that is not handed one.
LogSink& systemLog();

}  // namespace tavel
