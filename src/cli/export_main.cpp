// Entry point of tavel-export, Tavel's movie exporter: `tavel export` hands its
// arguments over to it, and the running Tavel encodes the lock-screen video with it, so
// that the encoder's libraries are loaded only where a movie is made.

#include "cli/export_command.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] != "export") {
        std::cerr << "tavel-export: Tavel's movie exporter; use 'tavel export'\n";
        return 2;
    }
    return tavel::cli::exportMovie({args.begin() + 1, args.end()}, std::cout, std::cerr);
}
