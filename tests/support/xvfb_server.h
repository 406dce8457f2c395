#pragma once
// A private Xvfb for one test program: started on a free display number with -noreset
// (so monitors and the idle counter survive clients leaving), stopped at the end.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavel::test {

class XvfbServer {
public:
    // Starts `Xvfb -noreset -screen 0 <width>x<height>x24 +extension ...`; aborts the
    // test program with a clear message when Xvfb is missing or does not start.
    explicit XvfbServer(int width = 1920, int height = 1080);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N", for $DISPLAY and XOpenDisplay.
    const std::string& name() const { return name_; }

    // Runs a command with DISPLAY set to this server (argument vector, no shell);
    // returns its exit status.
    int run(const std::vector<std::string>& command) const;

private:
    pid_t pid_ = -1;
    std::string name_;
};

// The process-wide server of a test program, started on first use; also exported as
// $DISPLAY so that child processes and XOpenDisplay(nullptr) find it.
XvfbServer& sharedXvfb();

}  // namespace tavel::test
