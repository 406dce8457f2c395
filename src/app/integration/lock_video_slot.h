#pragma once
// The lock screen's video slot and what Tavel keeps beside it in its data folder: copies
// of what the slot held before Tavel replaced it ("aerial-original.mov", then
// "aerial-original-2.mov", ... for later ones, never one over another), the identity of
// the movie Tavel put there ("lockvideo.slot"), so that a file someone else puts in the
// slot later is told apart from Tavel's and kept too, and which backup (or none: the slot
// was empty) the slot held when Tavel last replaced it ("lockvideo.before").
//
// File work only, for the lock-video queue (one thread at a time). Every copy is made
// under a temporary name, flushed and renamed: a failure never leaves half a movie where
// a player or a later restore would take it for whole. A slot that is a symbolic link is
// never touched.

#include "platform/result.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tavel {

class LockVideoSlot {
public:
    LockVideoSlot(std::filesystem::path slot, std::filesystem::path supportDir)
        : slot_(std::move(slot)), supportDir_(std::move(supportDir)) {}

    // Copies what the slot holds to a new backup unless it is Tavel's movie or the same
    // as a backup already kept (an empty slot needs none). On failure the slot's content is
    // not safe and the slot must not be replaced.
    Result<void> keepOriginal() const;
    // Puts `movie` in the slot and remembers it as Tavel's.
    Result<void> install(const std::filesystem::path& movie) const;
    // Gives the slot back where it holds Tavel's movie (or nothing): what it held when
    // Tavel last replaced it, which is no file at all where it was empty then (without
    // that record, from an older version: the newest backup, or nothing without one). A
    // slot holding someone else's file is left alone.
    Result<void> restore() const;

    // The slot holds the movie that install() put there, unchanged.
    bool holdsOurs() const;
    // The backups, oldest first.
    std::vector<std::filesystem::path> backups() const;
    Failure linkRefusal() const;

private:
    std::filesystem::path identityFile() const { return supportDir_ / "lockvideo.slot"; }
    std::filesystem::path beforeFile() const { return supportDir_ / "lockvideo.before"; }
    // Records the backup's file name, or "" for an empty slot.
    Result<void> recordBefore(const std::string& backupName) const;

    std::filesystem::path slot_;
    std::filesystem::path supportDir_;
};

}  // namespace tavel
