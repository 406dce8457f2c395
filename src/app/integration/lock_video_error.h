#pragma once
// The one error type of the movie encoder. Every failure carries one of five codes that
// say which step failed; when FFmpeg reported the failure its error number and text are
// kept as well.

#include <stdexcept>
#include <string>

namespace tavel {

class LockVideoError : public std::runtime_error {
public:
    enum Code : int {
        // The movie could not be started: no HEVC encoder opened, the file or the
        // muxer could not be created, or the header was refused.
        kNotStarted = 1,
        // No frames to fill could be allocated (or no converter into the encoder's
        // pixel format made).
        kNoFramePool = 2,
        // A frame could not be made ready for new pixels.
        kNoFrame = 3,
        // The renderer failed for a frame (no GL context, or the effect's program
        // did not build).
        kRenderFailed = 4,
        // Encoding, writing or finishing the file failed after the start.
        kNotCompleted = 5,
    };

    static constexpr const char* kDomain = "LockVideo";

    // `what` says which step failed; `ffmpegError` is FFmpeg's (negative) error number,
    // 0 when FFmpeg reported none, and `detail` its text or the system's.
    LockVideoError(Code code, const std::string& what, int ffmpegError = 0,
                   const std::string& detail = {})
        : std::runtime_error(std::string(kDomain) + " error " + std::to_string(int(code)) + ": " +
                             what + (detail.empty() ? "" : ": " + detail)),
          code_(code),
          ffmpegError_(ffmpegError) {}

    const char* domain() const { return kDomain; }
    Code code() const { return code_; }
    int ffmpegError() const { return ffmpegError_; }

private:
    Code code_;
    int ffmpegError_;
};

}  // namespace tavel
