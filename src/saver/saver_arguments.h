#pragma once
// halvane's command line, as screen-saver hosts call it; no side effects.
//
// The window to draw into, first that applies: `--window-id ID`, the window named by
// $XSCREENSAVER_WINDOW (how xscreensaver and xsecurelock hand over their windows),
// `--root`, else a window of its own for previewing. IDs are decimal or 0x hex.

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tavel {

struct SaverTarget {
    enum class Kind { window, root, preview };
    Kind kind = Kind::preview;
    unsigned long window = 0;  // for Kind::window
    // Of one core, on a software renderer (see RenderBudget); 0: no budget.
    double cpuBudgetPercent = 25;
};

struct SaverHelp {};

// A usage error: one line for standard error, exit status 2.
struct SaverUsageError {
    std::string message;
};

using SaverCommand = std::variant<SaverTarget, SaverHelp, SaverUsageError>;

// `args` without the program name; `environmentWindow` is $XSCREENSAVER_WINDOW and
// `environmentBudget` $TAVEL_CPU_BUDGET (null or empty when unset; --cpu-budget wins
// over the latter). Options are also accepted with one dash, as older hosts write them.
SaverCommand parseSaverArguments(const std::vector<std::string>& args,
                                 const char* environmentWindow,
                                 const char* environmentBudget = nullptr);

// An X window id: decimal or 0x hex, the whole text, from 1 to 0x1fffffff (the top
// three bits of a resource id are always clear).
std::optional<unsigned long> parseWindowId(const std::string& text);

// The text --help prints.
std::string saverUsage();

}  // namespace tavel
