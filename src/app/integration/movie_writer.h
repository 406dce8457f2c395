#pragma once
// FFmpeg's side of the movie encoder: one HEVC video track in a QuickTime movie, fed
// with BGRA frames. No FFmpeg header leaks out of this file's implementation.
//
// Threads: one thread fills frames (beginFrame/endFrame), another one may append them
// and finish; a slot belongs to one of them at a time, which the caller ensures by
// handing slot numbers over through its queue. Every failure throws LockVideoError.

#include "app/integration/lock_video_error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace tavel {

struct MovieFormat {
    int width = 0;  // even, as 4:2:0 chroma needs
    int height = 0;
    int fps = 30;  // frames per second; the track's time scale
    std::int64_t bitRate = 28'000'000;
};

class MovieWriter {
public:
    // Frames in flight between the filling and the appending thread: one being
    // filled, one waiting, one being encoded.
    static constexpr int kSlots = 3;

    // Where the filler writes a frame's BGRA pixels, top row first.
    struct BgraTarget {
        std::uint8_t* pixels;
        std::size_t bytesPerRow;
    };

    // Opens the encoder (hevc_nvenc when it opens, else hevc_vaapi on a GPU whose driver
    // opens it, else libx265), creates `path` and
    // writes the movie's header. Throws code 1 when that fails, code 2 when no frames
    // could be allocated.
    MovieWriter(const std::filesystem::path& path, const MovieFormat& format);
    // Closes the file without finishing it: after a failure the caller removes it.
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // The encoder that opened ("hevc_nvenc", "hevc_vaapi", "libx265").
    std::string encoderName() const;

    // Filling thread. Makes `slot` writable (code 3 when it cannot be) and says where
    // to draw: straight into the slot when the encoder takes BGRA, else into a
    // scratch frame that endFrame() converts once into the slot.
    BgraTarget beginFrame(int slot);
    void endFrame(int slot);

    // Appending thread. Encodes the slot as frame `index` (shown at index / fps for
    // one frame's time) and writes the packets that are ready. Code 5 on failure.
    void append(int slot, std::int64_t index);
    // Drains the encoder and writes the movie's index; the file is then complete.
    // Code 5 on failure.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavel
