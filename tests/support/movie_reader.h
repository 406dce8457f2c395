#pragma once
// Reads a movie back with FFmpeg's demuxer and decoder, for tests of what was written.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {

struct DecodedMovie {
    std::string codec;  // FFmpeg's codec name ("hevc")
    std::string tag;    // the sample description's four characters ("hvc1")
    int streams = 0;    // video tracks
    int width = 0, height = 0;
    int timeBaseNum = 0, timeBaseDen = 0;  // the track's time scale
    double seconds = 0;                    // the movie's duration
    std::vector<std::int64_t> packetDurations;
    // Each decoded frame's luma (width x height bytes), in presentation order.
    std::vector<std::vector<std::uint8_t>> luma;
};

// The movie at `path`, decoded; an empty result (and the reason in `error`) when FFmpeg
// cannot read it. A movie without a video track reads with streams == 0.
std::optional<DecodedMovie> readMovie(const std::filesystem::path& path, std::string& error);

// Limited-range BT.709 luma of BGRA pixels (bytesPerRow = width x 4), as a player sees it.
std::vector<std::uint8_t> lumaOfBgra(const std::vector<std::uint8_t>& bgra, int width, int height);

// Mean absolute difference of two equally long planes.
double meanAbsoluteDifference(const std::vector<std::uint8_t>& a,
                              const std::vector<std::uint8_t>& b);

}  // namespace tavel::test
