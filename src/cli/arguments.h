#pragma once
// Parsing of the command line's arguments into requests; no side effects.

#include "effects/shader_params.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tavel::cli {

struct RenderRequest {
    std::string effectId;
    std::string output;
    int width = 1920;
    int height = 1080;
    float time = 40.0f;
    ShaderParams params;  // the defaults with the --param overrides applied
};

// A usage error: one line for standard error, exit status 2.
struct UsageError {
    std::string message;
};

// Parses the arguments after "render". Checks forms and ranges, not the effect id.
std::variant<RenderRequest, UsageError> parseRenderArguments(const std::vector<std::string>& args);

// "1920x1080" -> (1920, 1080); sides from 1 to 16384.
std::optional<std::pair<int, int>> parseSize(const std::string& text);
// A finite number, the whole text.
std::optional<float> parseNumber(const std::string& text);
// Applies "name=value" (speed, zoom, intensity, hue, custom1, custom2; bg and accent as
// r,g,b) to `params`; returns an error message, or the empty text.
std::string applyParam(const std::string& assignment, ShaderParams& params);

}  // namespace tavel::cli
