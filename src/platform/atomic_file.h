#pragma once
// Whole-file replacement that never leaves a half-written file behind.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tavel {

// Writes `bytes` to a temporary file in the same folder, flushes it to disk, sets
// `mode` and renames it over `path`. On failure returns a description of what failed
// (with the system's error text), removes the temporary file and leaves any previous
// file at `path` untouched; returns the empty text on success.
std::string writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes, unsigned mode = 0600);

}  // namespace tavel
