#pragma once
// Commands sent to the running instance over the session bus.

#include <iosfwd>
#include <string>
#include <vector>

namespace tavel::cli {

// True for the commands this file handles: shuffle, pause, resume, set, status, quit.
bool isInstanceCommand(const std::string& command);

// Runs one of them; returns the exit status (0 done, 1 not running or failed, 2 bad
// arguments, also when the instance refuses them).
int runInstanceCommand(const std::string& command, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err);

}  // namespace tavel::cli
