#include "app/integration/movie_exporter.h"

#include "platform/line_process.h"

#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace tavel {

namespace {

// Text that reads back as the same float (and the same double).
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(value));
    return text;
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string colour(const std::vector<float>& rgb) {
    std::string text;
    for (std::size_t i = 0; i < rgb.size() && i < 3; ++i) text += (i ? "," : "") + number(rgb[i]);
    return text;
}

}  // namespace

std::filesystem::path exporterPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
    for (auto candidate :
         {folder.parent_path() / "libexec" / "tavel" / "tavel-export", folder / "tavel-export"})
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    return folder / "tavel-export";
}

std::vector<std::string> paramArguments(const ShaderParams& p) {
    std::vector<std::string> args;
    auto add = [&](const std::string& assignment) {
        args.push_back("--param");
        args.push_back(assignment);
    };
    add("speed=" + number(p.speed));
    add("zoom=" + number(p.zoom));
    add("intensity=" + number(p.intensity));
    add("hue=" + number(p.hue));
    if (p.custom1) add("custom1=" + number(*p.custom1));
    if (p.custom2) add("custom2=" + number(*p.custom2));
    if (p.bg && p.bg->size() >= 3) add("bg=" + colour(*p.bg));
    if (p.accent && p.accent->size() >= 3) add("accent=" + colour(*p.accent));
    return args;
}

void exportThroughExporter(const std::filesystem::path& exporter, const ShaderEffect& effect,
                           const ShaderParams& params, int width, int height, double seconds,
                           int fps, const std::filesystem::path& destination,
                           const std::function<void(double)>& progress) {
    std::vector<std::string> command = {exporter.string(),
                                        "export",
                                        effect.id,
                                        "-o",
                                        destination.string(),
                                        "--size",
                                        std::to_string(width) + "x" + std::to_string(height),
                                        "--seconds",
                                        number(seconds),
                                        "--fps",
                                        std::to_string(fps),
                                        "--progress-lines"};
    for (std::string& arg : paramArguments(params)) command.push_back(std::move(arg));
    LineProcessResult result = runReadingLines(command, [&](const std::string& line) {
        double done = 0;
        if (progress && std::sscanf(line.c_str(), "progress %lf", &done) == 1) progress(done);
    });
    if (!result.started)
        throw std::runtime_error("the movie exporter " + command[0] + " cannot be run");
    if (result.exitStatus != 0) {
        std::string why = result.errors.substr(0, result.errors.find('\n'));
        if (why.rfind("tavel: ", 0) == 0) why.erase(0, 7);
        throw std::runtime_error(why.empty() ? "the movie exporter failed" : why);
    }
}

}  // namespace tavel
