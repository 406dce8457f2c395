#include "cli/arguments.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace tavel::cli {

namespace {

constexpr int kMaxSide = 16384;

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

}  // namespace

std::optional<float> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    float value = 0;
    const char* begin = text.data();
    if (*begin == '+') ++begin;
    auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
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

std::variant<RenderRequest, UsageError> parseRenderArguments(const std::vector<std::string>& args) {
    RenderRequest request;
    bool haveId = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "-o" || arg == "--output" || arg == "--size" || arg == "--time" ||
            arg == "--param") {
            auto v = next();
            if (!v) return UsageError{arg + " needs a value"};
            if (arg == "-o" || arg == "--output") {
                if (v->empty()) return UsageError{"the output file name is empty"};
                request.output = *v;
            } else if (arg == "--size") {
                auto size = parseSize(*v);
                if (!size)
                    return UsageError{
                        "--size needs WIDTHxHEIGHT with sides from 1 to 16384, got '" + *v + "'"};
                std::tie(request.width, request.height) = *size;
            } else if (arg == "--time") {
                auto t = parseNumber(*v);
                if (!t) return UsageError{"--time needs a number, got '" + *v + "'"};
                request.time = *t;
            } else {
                if (std::string error = applyParam(*v, request.params); !error.empty())
                    return UsageError{error};
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError{"unknown option '" + arg + "'"};
        } else if (!haveId) {
            request.effectId = arg;
            haveId = true;
        } else {
            return UsageError{"unexpected argument '" + arg + "'"};
        }
    }
    if (!haveId) return UsageError{"render needs an effect id (see 'tavel list')"};
    if (request.output.empty()) return UsageError{"render needs -o FILE.png"};
    return request;
}

}  // namespace tavel::cli
