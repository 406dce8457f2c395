#pragma once
// Where the system's one-line log messages go. Injected everywhere a line is
// written, so tests can read the lines; the application's sink writes to the journal
// (platform/system_log.h).

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

// Keeps the lines in memory; for tests and for callers that report them later.
class MemoryLogSink final : public LogSink {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A driver's or library's multi-line message as one log line: its lines joined with
// "; ", blank lines and surrounding white space dropped.
std::string oneLine(std::string_view text);

}  // namespace tavel
