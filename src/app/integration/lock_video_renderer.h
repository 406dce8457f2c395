#pragma once
// Turns one effect with its parameters into a seamlessly looping movie: HEVC in a
// QuickTime movie, rendered offscreen frame by frame, faster than real time where the
// machine allows. The lock-screen video job and `tavel export` use it.

#include "app/integration/lock_video_error.h"
#include "effects/catalog.h"
#include "effects/log_sink.h"
#include "effects/shader_params.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace tavel {

class LockVideoRenderer {
public:
    LockVideoRenderer() = delete;

    static constexpr std::int64_t kBitRate = 28'000'000;

    // Writes trunc(seconds x fps) frames of `effect` at width x height to
    // `destination`. Frame i shows effect time frameTime(i, n, seconds) (times the
    // parameters' speed) for 1/fps seconds, so the movie runs forward to seconds/2 and
    // back, and its end leads smoothly into its start when it loops.
    //
    // Blocks the calling thread until the file is complete; a fresh renderer draws on
    // a thread of its own while this thread encodes. `progress`, when given, is called
    // on the calling thread after each frame with (i + 1) / n.
    //
    // The movie is written under a hidden temporary name in the destination's folder
    // and renamed over `destination` only when complete: a failure leaves an earlier
    // file there as it was. Zero frames give a complete movie that lasts 0 s and holds
    // no frame (FFmpeg's muxer leaves the empty track out).
    // Lines about failed effect programs and FFmpeg's warnings go to `log`.
    //
    // Throws std::invalid_argument for sizes that are not positive and even, an fps
    // below 1, or a seconds x fps that is negative, not finite or past 2^31 - 1
    // frames; LockVideoError for everything that fails while writing (code 4 when the
    // renderer fails, for example because the effect's program does not build).
    static void generate(const ShaderEffect& effect, const ShaderParams& params, int width,
                         int height, double seconds, int fps,
                         const std::filesystem::path& destination,
                         const std::function<void(double)>& progress, LogSink& log);

    // The number of frames: seconds x fps, truncated (after the checks above).
    static std::int64_t frameCount(double seconds, int fps);
    // The effect time of frame i of n: (seconds / 2) x (1 - |1 - 2i/n|), in double
    // precision, handed over as a float.
    static float frameTime(std::int64_t i, std::int64_t n, double seconds);
};

}  // namespace tavel
