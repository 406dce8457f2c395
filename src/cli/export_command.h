#pragma once
// `tavel export`: an effect as a seamlessly looping HEVC movie.

#include <iosfwd>
#include <string>
#include <vector>

namespace tavel::cli {

// Runs `export` with the arguments after the command. A progress bar with the time left
// goes to `err` when standard error is a terminal; `out` gets one line when the movie
// is written. Usage errors: one line on `err`, status 2; failures while writing: one
// line, status 1. Neither leaves a file; an interrupt (Ctrl-C) cancels the same way.
int exportMovie(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tavel::cli
