#pragma once
// The commands of `tavel` that work without a running instance.

#include <iosfwd>
#include <string>
#include <vector>

namespace tavel::cli {

// Runs the command line (without the program name); returns the exit status.
// Standard output gets results, standard error one line per problem.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tavel::cli
