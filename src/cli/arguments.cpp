#include "cli/arguments.h"

#include "app/integration/lock_video_renderer.h"
#include "platform/render_budget.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace tavel::cli {

namespace {

constexpr int kMaxSide = 16384;

// A finite number, the whole text.
template <typename Number>
std::optional<Number> parseFinite(const std::string& text) {
    if (text.empty()) return std::nullopt;
    Number value = 0;
    const char* begin = text.data();
    // from_chars takes no plus sign; one is allowed, but not before a minus.
    if (*begin == '+' && text.size() > 1 && begin[1] != '-') ++begin;
    auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::vector<float>> parseColor(const std::string& text) {
    std::vector<float> components;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        auto value = parseNumber(part);
        if (!value) return std::nullopt;
        components.push_back(*value);
    }
    if (components.size() != 3 || text.back() == ',') return std::nullopt;
    return components;
}

std::string budgetRule() {
    return "a percentage of one core from 0 to " +
           std::to_string(static_cast<int>(kMaxCpuBudgetPercent)) + " (0: no budget)";
}

}  // namespace

bool isApplicationRun(const std::vector<std::string>& args) {
    return args.empty() || args[0] == "--background" || args[0].starts_with("--cpu-budget");
}

std::variant<ApplicationRequest, UsageError> parseApplicationArguments(
    const std::vector<std::string>& args, const char* environmentBudget) {
    ApplicationRequest request;
    bool backgroundSeen = false, budgetSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--background") {
            if (backgroundSeen) return UsageError{"--background is given twice"};
            backgroundSeen = request.background = true;
            continue;
        }
        std::string text;
        if (arg == "--cpu-budget") {
            if (i + 1 == args.size()) return UsageError{"--cpu-budget needs " + budgetRule()};
            text = args[++i];
        } else if (arg.starts_with("--cpu-budget=")) {
            text = arg.substr(std::string("--cpu-budget=").size());
        } else {
            return UsageError{"unknown option '" + arg +
                              "' for running Tavel (see 'tavel --help')"};
        }
        if (budgetSeen) return UsageError{"--cpu-budget is given twice"};
        budgetSeen = true;
        auto value = parseBudgetPercent(text);
        if (!value)
            return UsageError{"--cpu-budget takes " + budgetRule() + ", not '" + text + "'"};
        request.cpuBudgetPercent = *value;
    }
    // The option wins over the environment, whatever the environment holds.
    if (environmentBudget && !budgetSeen) {
        auto value = parseBudgetPercent(environmentBudget);
        if (!value)
            return UsageError{"TAVEL_CPU_BUDGET must be " + budgetRule() + ", not '" +
                              environmentBudget + "'"};
        request.cpuBudgetPercent = *value;
    }
    return request;
}

std::optional<float> parseNumber(const std::string& text) {
    return parseFinite<float>(text);
}

std::optional<std::pair<int, int>> parseSize(const std::string& text) {
    auto x = text.find('x');
    if (x == std::string::npos) return std::nullopt;
    int sides[2];
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        const std::string& part = parts[i];
        auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), sides[i]);
        if (part.empty() || error != std::errc() || end != part.data() + part.size() ||
            sides[i] < 1 || sides[i] > kMaxSide)
            return std::nullopt;
    }
    return std::pair{sides[0], sides[1]};
}

std::string applyParam(const std::string& assignment, ShaderParams& params) {
    auto eq = assignment.find('=');
    if (eq == std::string::npos) return "--param needs NAME=VALUE, got '" + assignment + "'";
    std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    if (name == "bg" || name == "accent") {
        auto color = parseColor(value);
        if (!color) return "--param " + name + " needs three numbers r,g,b, got '" + value + "'";
        (name == "bg" ? params.bg : params.accent) = *color;
        return {};
    }
    float* control = name == "speed"       ? &params.speed
                     : name == "zoom"      ? &params.zoom
                     : name == "intensity" ? &params.intensity
                     : name == "hue"       ? &params.hue
                                           : nullptr;
    std::optional<float>* slider = name == "custom1"   ? &params.custom1
                                   : name == "custom2" ? &params.custom2
                                                       : nullptr;
    if (!control && !slider)
        return "unknown parameter '" + name +
               "' (speed, zoom, intensity, hue, custom1, custom2, bg, accent)";
    auto number = parseNumber(value);
    if (!number) return "--param " + name + " needs a number, got '" + value + "'";
    if (control)
        *control = *number;
    else
        *slider = *number;
    return {};
}

namespace {

// Checks one value of a command's own option; returns an error message or the empty text.
using OwnOption = std::function<std::string(const std::string& option, const std::string& value)>;

// The arguments every effect command takes (ID, -o, --size, --param) and the command's
// own valued options, each handed to `own`.
std::optional<UsageError> parseEffectArguments(const std::vector<std::string>& args,
                                               const std::string& command,
                                               const std::string& outputForm,
                                               const std::vector<std::string>& ownOptions,
                                               const OwnOption& own, EffectRequest& request) {
    bool haveId = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool isOwn = std::find(ownOptions.begin(), ownOptions.end(), arg) != ownOptions.end();
        if (arg == "-o" || arg == "--output" || arg == "--size" || arg == "--param" || isOwn) {
            if (i + 1 >= args.size()) return UsageError{arg + " needs a value"};
            const std::string& v = args[++i];
            std::string error;
            if (arg == "-o" || arg == "--output") {
                if (v.empty()) error = "the output file name is empty";
                request.output = v;
            } else if (arg == "--size") {
                auto size = parseSize(v);
                if (!size)
                    error = "--size needs WIDTHxHEIGHT with sides from 1 to 16384, got '" + v + "'";
                else
                    std::tie(request.width, request.height) = *size;
            } else if (arg == "--param") {
                error = applyParam(v, request.params);
            } else {
                error = own(arg, v);
            }
            if (!error.empty()) return UsageError{error};
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError{"unknown option '" + arg + "'"};
        } else if (!haveId) {
            request.effectId = arg;
            haveId = true;
        } else {
            return UsageError{"unexpected argument '" + arg + "'"};
        }
    }
    if (!haveId) return UsageError{command + " needs an effect id (see 'tavel list')"};
    if (request.output.empty()) return UsageError{command + " needs -o " + outputForm};
    return std::nullopt;
}

}  // namespace

std::variant<RenderRequest, UsageError> parseRenderArguments(const std::vector<std::string>& args) {
    RenderRequest request;
    auto own = [&](const std::string&, const std::string& value) -> std::string {
        auto t = parseNumber(value);
        if (!t) return "--time needs a number, got '" + value + "'";
        request.time = *t;
        return {};
    };
    if (auto error = parseEffectArguments(args, "render", "FILE.png", {"--time"}, own, request))
        return *error;
    return request;
}

std::variant<ExportRequest, UsageError> parseExportArguments(
    const std::vector<std::string>& given) {
    ExportRequest request;
    std::vector<std::string> args;
    for (const std::string& arg : given) {
        if (arg == "--progress-lines")
            request.progressLines = true;
        else
            args.push_back(arg);
    }
    request.width = 3840;
    request.height = 2160;
    auto own = [&](const std::string& option, const std::string& value) -> std::string {
        if (option == "--seconds") {
            // In double precision: a float's 2.3 times 10 is 22.99999 frames, not 23.
            auto seconds = parseFinite<double>(value);
            if (!seconds || *seconds < 0)
                return "--seconds needs a number from 0 up, got '" + value + "'";
            request.seconds = *seconds;
            return {};
        }
        int fps = 0;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), fps);
        if (value.empty() || error != std::errc() || end != value.data() + value.size() || fps < 1)
            return "--fps needs a whole number of frames per second from 1 up, got '" + value + "'";
        request.fps = fps;
        return {};
    };
    if (auto error =
            parseEffectArguments(args, "export", "FILE.mov", {"--seconds", "--fps"}, own, request))
        return *error;
    if (request.output == "-")
        return UsageError{
            "a movie needs a file it can seek in: -o - (standard output) is for "
            "render only"};
    if (request.width % 2 || request.height % 2)
        return UsageError{"--size needs even sides for a movie, got " +
                          std::to_string(request.width) + "x" + std::to_string(request.height)};
    try {
        LockVideoRenderer::frameCount(request.seconds, request.fps);
    } catch (const std::invalid_argument& error) {
        return UsageError{std::string("--seconds and --fps: ") + error.what()};
    }
    return request;
}

std::string outputRefusal(const std::string& output) {
    if (output == "-") return {};
    std::error_code error;
    const auto type = std::filesystem::status(output, error).type();
    if (type == std::filesystem::file_type::not_found ||
        type == std::filesystem::file_type::regular)
        return {};
    return output + " exists and is not a regular file; it is left as it is";
}

}  // namespace tavel::cli
