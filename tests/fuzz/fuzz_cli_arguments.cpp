// tavel's command line: NUL-separated arguments after the command, the first text
// naming it (render, export, else the application's own options, with the second text
// also tried as $TAVEL_CPU_BUDGET). Accepted requests are within what their commands take.

#include "app/integration/lock_video_renderer.h"
#include "cli/arguments.h"
#include "fuzz/fuzz_support.h"

#include <cmath>

using namespace tavel;
using namespace tavel::cli;

namespace {

void checkEffectRequest(const EffectRequest& request) {
    FUZZ_CHECK(!request.output.empty());
    FUZZ_CHECK(request.width >= 1 && request.width <= 16384);
    FUZZ_CHECK(request.height >= 1 && request.height <= 16384);
    // The parameters are stored and shown as they are: JSON has no other numbers.
    encodeShaderParams(request.params);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args = fuzz::splitAtNul(data, size);
    if (args.empty()) return 0;
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "render") {
        auto parsed = parseRenderArguments(args);
        if (auto* request = std::get_if<RenderRequest>(&parsed)) {
            checkEffectRequest(*request);
            FUZZ_CHECK(std::isfinite(request->time));
        }
    } else if (command == "export") {
        auto parsed = parseExportArguments(args);
        if (auto* request = std::get_if<ExportRequest>(&parsed)) {
            checkEffectRequest(*request);
            FUZZ_CHECK(request->width % 2 == 0 && request->height % 2 == 0 && request->fps >= 1);
            LockVideoRenderer::frameCount(request->seconds, request->fps);
        }
    } else {
        isApplicationRun(args);
        for (const char* environment :
             {static_cast<const char*>(nullptr), args.empty() ? "" : args.front().c_str()}) {
            auto parsed = parseApplicationArguments(args, environment);
            if (auto* request = std::get_if<ApplicationRequest>(&parsed))
                FUZZ_CHECK(request->cpuBudgetPercent >= 0 &&
                           request->cpuBudgetPercent <= kMaxCpuBudgetPercent);
        }
    }
    return 0;
}
