#include "saver/saver_arguments.h"

#include "platform/render_budget.h"

#include <charconv>

namespace tavel {

namespace {

constexpr unsigned long kLargestResourceId = 0x1fffffff;

// "--name" and "-name" alike.
bool isOption(const std::string& arg, const char* name) {
    return arg == std::string("--") + name || arg == std::string("-") + name;
}

}  // namespace

std::optional<unsigned long> parseWindowId(const std::string& text) {
    int base = 10;
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    unsigned long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    if (value == 0 || value > kLargestResourceId) return std::nullopt;
    return value;
}

SaverCommand parseSaverArguments(const std::vector<std::string>& args,
                                 const char* environmentWindow, const char* environmentBudget) {
    std::optional<unsigned long> window;
    bool root = false;
    std::optional<double> budget;
    const std::string rule = "a percentage of one core from 0 to " +
                             std::to_string(static_cast<int>(RenderBudget::kMaxPercent)) +
                             " (0: no budget)";
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (isOption(arg, "help") || arg == "-h") return SaverHelp{};
        if (isOption(arg, "root")) {
            root = true;
        } else if (isOption(arg, "cpu-budget")) {
            if (i + 1 == args.size()) return SaverUsageError{"halvane: " + arg + " needs " + rule};
            if (budget) return SaverUsageError{"halvane: " + arg + " is given twice"};
            budget = parseBudgetPercent(args[++i]);
            if (!budget)
                return SaverUsageError{"halvane: " + arg + " takes " + rule + ", not '" + args[i] +
                                       "'"};
        } else if (isOption(arg, "window-id")) {
            if (i + 1 == args.size())
                return SaverUsageError{"halvane: " + arg + " needs a window id"};
            window = parseWindowId(args[++i]);
            if (!window) return SaverUsageError{"halvane: not a window id: '" + args[i] + "'"};
        } else {
            return SaverUsageError{"halvane: unknown argument '" + arg + "' (see halvane --help)"};
        }
    }
    if (!budget && environmentBudget && environmentBudget[0] != '\0') {
        budget = parseBudgetPercent(environmentBudget);
        if (!budget)
            return SaverUsageError{"halvane: TAVEL_CPU_BUDGET must be " + rule + ", not '" +
                                   std::string(environmentBudget) + "'"};
    }
    SaverTarget target;
    if (budget) target.cpuBudgetPercent = *budget;
    if (window) {
        target.kind = SaverTarget::Kind::window, target.window = *window;
    } else if (environmentWindow && environmentWindow[0] != '\0') {
        auto fromHost = parseWindowId(environmentWindow);
        if (!fromHost)
            return SaverUsageError{"halvane: XSCREENSAVER_WINDOW is not a window id: '" +
                                   std::string(environmentWindow) + "'"};
        target.kind = SaverTarget::Kind::window, target.window = *fromHost;
    } else if (root) {
        target.kind = SaverTarget::Kind::root;
    }
    return target;
}

std::string saverUsage() {
    return "Usage: halvane [--window-id ID | --root] [--cpu-budget PERCENT]\n"
           "\n"
           "Shows Tavel's current effect, with its tuned parameters, as a screen saver.\n"
           "It draws into the first of these that applies:\n"
           "  --window-id ID         the X window ID (decimal or 0x hex)\n"
           "  $XSCREENSAVER_WINDOW   the window a screen-saver host hands over\n"
           "                         (xscreensaver, xsecurelock's XSECURELOCK_SAVER)\n"
           "  --root                 the root window\n"
           "otherwise a window of its own, for previewing. It follows the window's size\n"
           "and ends on SIGTERM or SIGINT, or when the window goes away.\n"
           "  --cpu-budget PERCENT   on a software renderer (no GPU), keep within PERCENT\n"
           "                         of one core: drawn smaller, then less often (default\n"
           "                         25, also TAVEL_CPU_BUDGET; 0: no budget)\n"
           "  --help                 this text\n";
}

}  // namespace tavel
