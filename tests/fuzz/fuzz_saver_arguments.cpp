// halvane's command line and $XSCREENSAVER_WINDOW, as a screen-saver host hands them
// over: the first NUL-separated text is the variable (empty: unset), the rest the
// arguments. A window to draw into is always a valid X resource id.

#include "fuzz/fuzz_support.h"
#include "saver/saver_arguments.h"

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = fuzz::splitAtNul(data, size);
    if (args.empty()) return 0;
    const std::string environment = args.front();
    args.erase(args.begin());
    SaverCommand command = parseSaverArguments(args, environment.c_str());
    if (auto* target = std::get_if<SaverTarget>(&command)) {
        if (target->kind == SaverTarget::Kind::window) {
            FUZZ_CHECK(target->window >= 1 && target->window <= 0x1fffffff);
            FUZZ_CHECK(parseWindowId(std::to_string(target->window)) == target->window);
        }
    }
    return 0;
}
