#pragma once
// Parsing of the command line's arguments into requests; no side effects.

#include "effects/catalog.h"
#include "effects/shader_params.h"
#include "platform/render_budget.h"

#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace tavel::cli {

// What `render` and `export` share: an effect, an output file, a size and parameters.
struct EffectRequest {
    std::string effectId;
    std::string output;  // "-": standard output (render only)
    int width = 1920;
    int height = 1080;
    ShaderParams params;  // the defaults with the --param overrides applied
};

struct RenderRequest : EffectRequest {
    float time = 40.0f;
};

// A looping movie; the size defaults to 3840x2160.
struct ExportRequest : EffectRequest {
    double seconds = 20;
    int fps = 30;
    // For Tavel's own use of the exporter: "progress <0...1>" lines on standard output
    // instead of the bar, and the exporter ends with the process that started it.
    bool progressLines = false;
};

// Running the application: `tavel [--background] [--cpu-budget PERCENT]`, in any order.
struct ApplicationRequest {
    bool background = false;
    // Of one core, for all on-screen views together on a software renderer; 0: no budget.
    double cpuBudgetPercent = 25;
};

// A usage error: one line for standard error, exit status 2.
struct UsageError {
    std::string message;
};

// Parses the arguments after "render". Checks forms and ranges, not the effect id.
std::variant<RenderRequest, UsageError> parseRenderArguments(const std::vector<std::string>& args);
// Parses the arguments after "export", as for render; sides must be even (4:2:0 video),
// seconds x fps a number of frames the movie encoder takes, and the output a file (a
// movie is finished by seeking back to its start).
std::variant<ExportRequest, UsageError> parseExportArguments(const std::vector<std::string>& args);

// Why `output` cannot be written, or the empty text: an existing path that is not a
// regular file (a FIFO, a device, a folder) is never replaced by one. "-" (standard
// output) is fine. Reads the file system.
std::string outputRefusal(const std::string& output);

// The request with the catalog effect it names; for bad arguments, an output that must
// not be replaced or an id the catalog lacks, one "tavel: " line on `err` and nothing
// (the caller exits with status 2).
template <class Request>
std::optional<std::pair<Request, ShaderEffect>> requestedEffect(
    std::variant<Request, UsageError> parsed, std::ostream& err) {
    if (auto* usage = std::get_if<UsageError>(&parsed)) {
        err << "tavel: " << usage->message << '\n';
        return std::nullopt;
    }
    Request& request = std::get<Request>(parsed);
    if (std::string refusal = outputRefusal(request.output); !refusal.empty()) {
        err << "tavel: " << refusal << '\n';
        return std::nullopt;
    }
    auto effect = shaderEffect(request.effectId);
    if (!effect) {
        err << "tavel: unknown effect '" << request.effectId << "' (see 'tavel list')\n";
        return std::nullopt;
    }
    return std::pair(std::move(request), std::move(*effect));
}

// Whether the arguments run the application rather than a command: none, or options of
// the application's own.
bool isApplicationRun(const std::vector<std::string>& args);
// Parses the application's options; `environmentBudget` is TAVEL_CPU_BUDGET (null when not
// set), read only when --cpu-budget is not given. A budget is a percentage of one core, a number
// from 0 to kMaxCpuBudgetPercent, with or without a "%" sign after it.
constexpr double kMaxCpuBudgetPercent = RenderBudget::kMaxPercent;
std::variant<ApplicationRequest, UsageError> parseApplicationArguments(
    const std::vector<std::string>& args, const char* environmentBudget);

// "1920x1080" -> (1920, 1080); sides from 1 to 16384.
std::optional<std::pair<int, int>> parseSize(const std::string& text);
// A finite number, the whole text.
std::optional<float> parseNumber(const std::string& text);
// Applies "name=value" (speed, zoom, intensity, hue, custom1, custom2; bg and accent as
// r,g,b) to `params`; returns an error message, or the empty text.
std::string applyParam(const std::string& assignment, ShaderParams& params);

}  // namespace tavel::cli
