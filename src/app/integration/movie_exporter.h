#pragma once
// Movies are encoded by Tavel's exporter, a program of its own (tavel-export): the
// encoder's libraries, its frames and its GL context live in that process, not in the
// running application, and a movie that fails takes nothing else down with it. Both the
// lock-screen video job and `tavel export` go through it.

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tavel {

// The exporter: installed in <prefix>/libexec/tavel/ beside <prefix>/bin/tavel, or beside
// the running program (a build tree).
std::filesystem::path exporterPath();

// `params` as the exporter's --param options, each value written so that it reads back
// the same; the effect's defaults are left out.
std::vector<std::string> paramArguments(const ShaderParams& params);

// Encodes the movie through the exporter and waits for it; `progress` gets 0...1 after
// each frame, on the calling thread, and may throw to stop the exporter (which leaves no
// file). Throws std::runtime_error with the exporter's own words when it fails.
void exportThroughExporter(const std::filesystem::path& exporter, const ShaderEffect& effect,
                           const ShaderParams& params, int width, int height, double seconds,
                           int fps, const std::filesystem::path& destination,
                           const std::function<void(double)>& progress);

}  // namespace tavel
