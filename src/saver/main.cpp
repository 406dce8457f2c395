// Entry point of `halvane`, the screen-saver program.

#include "platform/system_log.h"
#include "saver/run_saver.h"
#include "saver/saver_arguments.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    auto command = tavel::parseSaverArguments(args, std::getenv("XSCREENSAVER_WINDOW"),
                                              std::getenv("TAVEL_CPU_BUDGET"));
    if (auto* error = std::get_if<tavel::SaverUsageError>(&command)) {
        std::cerr << error->message << '\n';
        return 2;
    }
    if (std::holds_alternative<tavel::SaverHelp>(command)) {
        std::cout << tavel::saverUsage();
        return 0;
    }
    return tavel::runSaver(std::get<tavel::SaverTarget>(command), tavel::systemLog());
}
