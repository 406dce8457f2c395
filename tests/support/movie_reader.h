#pragma once
// Reads a movie back with FFmpeg's demuxer and decoder, for tests of what was written.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavel::test {

struct DecodedMovie {
    std::string error;   // why FFmpeg could not read it; empty when it could
    std::string codec;   // FFmpeg's codec name ("hevc")
    std::string tag;     // the sample description's four characters ("hvc1")
    double seconds = 0;  // the movie's duration
    // Each decoded frame's luma (width x height bytes), in presentation order.
    std::vector<std::vector<std::uint8_t>> luma;
};

DecodedMovie readMovie(const std::filesystem::path& path);

// Limited-range BT.709 luma of BGRA pixels (bytesPerRow = width x 4), as a player sees it.
std::vector<std::uint8_t> lumaOfBgra(const std::vector<std::uint8_t>& bgra, int width, int height);

// Mean absolute difference of two equally long, non-empty planes.
double meanAbsoluteDifference(const std::vector<std::uint8_t>& a,
                              const std::vector<std::uint8_t>& b);

}  // namespace tavel::test
