#pragma once
// Whole-file replacement that never leaves a half-written file behind.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include "platform/result.h"
#include "platform/text_bytes.h"

namespace tavel {

// Writes `bytes` to a temporary file in the same folder, flushes it to disk, sets
// `mode`, renames it over `path` and flushes the folder, so the new file survives a
// power cut. A `path` that is a symbolic link (dotfiles kept in a repository) is written
// through: its final target is replaced, in the target's folder, and the link stays. A
// failure removes the temporary file and leaves any previous file untouched.
//
// With `followLinks` false a link at `path` is replaced by the file instead: for files
// of the application's own that must never write anywhere else.
Result<void> writeFileAtomically(const std::filesystem::path& path,
                                 std::span<const std::uint8_t> bytes, unsigned mode = 0600,
                                 bool followLinks = true);

enum class CopyMode {
    replace,       // over whatever `to` is (a link there is replaced, not followed)
    keepExisting,  // fails with "File exists" where `to` is taken
};

// Copies the regular file `from` (not a link) the same way: a hidden temporary file
// beside `to`, flushed, then moved into place, so a failure (an unreadable source, a
// full disk) leaves no truncated copy where `to` is expected. The copy takes the
// source's permission bits.
Result<void> copyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                                CopyMode mode = CopyMode::replace);

// Removes the temporary files that writes into `folder` left when the process died
// before renaming them. With a `minimumAge`, only those not written for that long: a
// newer one may be another process's write in progress.
void removeAtomicWriteLeftovers(const std::filesystem::path& folder,
                                std::chrono::seconds minimumAge = std::chrono::seconds(0));

}  // namespace tavel
