#pragma once
// Where the system's one-line log messages go. Injected everywhere a line is
// written, so tests can read the lines.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavel {

class LogSink {
public:
    virtual ~LogSink() = default;
    // Writes one complete line (without a trailing newline). Any thread may call it.
    virtual void write(std::string_view line) = 0;
};

// syslog(3), so the journal keeps the lines; also standard error when that is a terminal.
class SystemLogSink final : public LogSink {
public:
    void write(std::string_view line) override;
};

// Keeps the lines in memory; for tests and for callers that report them later.
class MemoryLogSink final : public LogSink {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The process-wide system sink, for code that is not handed one.
LogSink& systemLog();

}  // namespace tavel
