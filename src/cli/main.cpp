// Entry point of `tavel`.

#include "cli/commands.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tavel::cli::run(args, std::cout, std::cerr);
}
