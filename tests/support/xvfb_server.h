#pragma once
// A private Xvfb on a free display number (aborting the test program when it does not start),
// with -noreset: monitors and the idle counter survive clients leaving.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavel::test {

class XvfbServer {
public:
    explicit XvfbServer(int width = 1920, int height = 1080);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    // Runs a command with $DISPLAY set to this server: its exit status.
    int run(const std::vector<std::string>& command) const;

private:
    pid_t pid_ = -1;
    std::string name_;
};

// The test program's server, started on first use and exported as $DISPLAY.
XvfbServer& sharedXvfb();

}  // namespace tavel::test
