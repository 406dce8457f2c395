#pragma once
// Whole-file replacement that never leaves a half-written file behind.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace tavel {

// Writes `bytes` to a temporary file in the same folder, flushes it to disk, sets
// `mode`, renames it over `path` and flushes the folder, so the new file survives a
// power cut. A `path` that is a symbolic link (dotfiles kept in a repository) is written
// through: its final target is replaced, in the target's folder, and the link stays. On
// failure returns a description of what failed (with the system's error text), removes
// the temporary file and leaves any previous file untouched; returns the empty text on
// success.
//
// With `followLinks` false a link at `path` is replaced by the file instead: for files
// of the application's own that must never write anywhere else.
std::string writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes, unsigned mode = 0600,
                                bool followLinks = true);

// Removes the temporary files that writes into `folder` left when the process died
// before renaming them. Only for a folder no other process is writing into now.
void removeAtomicWriteLeftovers(const std::filesystem::path& folder);

}  // namespace tavel
