#include "app/integration/lock_video_slot.h"

#include "platform/atomic_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <system_error>

namespace tavel {

namespace {

constexpr const char* kBackupStem = "aerial-original";

// What tells one file from another without reading it: a file put in the slot by anyone
// else is a new file (another inode), or the same one written again (another time).
std::string identityOf(const std::filesystem::path& path) {
    struct stat facts {};
    if (lstat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return {};
    return std::to_string(facts.st_dev) + ' ' + std::to_string(facts.st_ino) + ' ' +
           std::to_string(facts.st_size) + ' ' + std::to_string(facts.st_mtim.tv_sec) + '.' +
           std::to_string(facts.st_mtim.tv_nsec);
}

std::string readSmall(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool isRegular(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() ==
           std::filesystem::file_type::regular;
}

bool isLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

// Byte for byte; files of different sizes are told apart without being read.
bool sameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::file_size(a, error) != std::filesystem::file_size(b, error) || error)
        return false;
    std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
    std::array<char, 1 << 16> x{}, y{};
    while (left && right) {
        left.read(x.data(), x.size());
        right.read(y.data(), y.size());
        if (left.gcount() != right.gcount() ||
            !std::equal(x.begin(), x.begin() + left.gcount(), y.begin()))
            return false;
    }
    return left.eof() && right.eof();
}

// "aerial-original.mov" is the first; "aerial-original-<n>.mov" the n-th.
int backupNumber(const std::string& name) {
    const std::string first = std::string(kBackupStem) + ".mov";
    if (name == first) return 1;
    const std::string prefix = std::string(kBackupStem) + "-";
    if (!name.starts_with(prefix) || !name.ends_with(".mov")) return 0;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    if (digits.empty() || digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return std::stoi(digits) >= 2 ? std::stoi(digits) : 0;
}

}  // namespace

std::vector<std::filesystem::path> LockVideoSlot::backups() const {
    std::vector<std::pair<int, std::filesystem::path>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(supportDir_, error))
        if (int n = backupNumber(entry.path().filename().string()); n > 0 && isRegular(entry))
            found.emplace_back(n, entry.path());
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> paths;
    for (auto& [n, path] : found) paths.push_back(std::move(path));
    return paths;
}

bool LockVideoSlot::holdsOurs() const {
    const std::string identity = identityOf(slot_);
    return !identity.empty() && identity == readSmall(identityFile());
}

Failure LockVideoSlot::linkRefusal() const {
    return {slot_.string() + " is a symbolic link; it is left alone"};
}

Result<void> LockVideoSlot::recordBefore(const std::string& backupName) const {
    if (Result<void> written =
            writeFileAtomically(beforeFile(), textBytes(backupName), 0644, false);
        !written)
        return Failure{"cannot record what " + slot_.string() + " held: " + written.why()};
    return {};
}

Result<void> LockVideoSlot::keepOriginal() const {
    if (isLink(slot_)) return linkRefusal();
    if (holdsOurs()) return {};
    if (!isRegular(slot_)) {
        std::error_code error;
        // Tavel's movie gone from the slot meanwhile: what it held before stays recorded.
        if (std::filesystem::exists(identityFile(), error)) return {};
        // Empty since the slot was given back: it is to be empty again afterwards, not to
        // get an older backup back.
        return recordBefore("");
    }
    const auto kept = backups();
    if (auto same = std::find_if(kept.begin(), kept.end(),
                                 [&](const auto& backup) { return sameContent(slot_, backup); });
        same != kept.end())
        return recordBefore(same->filename().string());
    int next = 1;
    for (const auto& backup : kept)
        next = std::max(next, backupNumber(backup.filename().string()) + 1);
    const std::string name = next == 1
                                 ? std::string(kBackupStem) + ".mov"
                                 : std::string(kBackupStem) + "-" + std::to_string(next) + ".mov";
    if (Result<void> copied = copyFileAtomically(slot_, supportDir_ / name, CopyMode::keepExisting);
        !copied)
        return Failure{"cannot keep a copy of " + slot_.string() + ": " + copied.why()};
    return recordBefore(name);
}

Result<void> LockVideoSlot::install(const std::filesystem::path& movie) const {
    if (isLink(slot_)) return linkRefusal();
    if (Result<void> copied = copyFileAtomically(movie, slot_); !copied) return copied;
    const std::string identity = identityOf(slot_);
    // Without its identity the movie would later be taken for someone else's and kept.
    return writeFileAtomically(identityFile(), textBytes(identity), 0644, false);
}

Result<void> LockVideoSlot::restore() const {
    if (isLink(slot_)) return linkRefusal();
    std::error_code error;
    const bool ours = holdsOurs();
    if (!ours && std::filesystem::exists(std::filesystem::symlink_status(slot_, error))) {
        // Someone else's file: nothing of Tavel's to take back, and this round is over.
        std::filesystem::remove(identityFile(), error);
        std::filesystem::remove(beforeFile(), error);
        return {};
    }
    const auto kept = backups();
    std::optional<std::filesystem::path> before =
        kept.empty() ? std::nullopt : std::optional(kept.back());
    if (std::filesystem::exists(beforeFile(), error)) {
        const std::string name = readSmall(beforeFile());
        auto named = std::find_if(kept.begin(), kept.end(),
                                  [&](const auto& backup) { return backup.filename() == name; });
        before = named == kept.end() ? std::nullopt : std::optional(*named);
    }
    Result<void> given;
    if (before)
        given = copyFileAtomically(*before, slot_);
    else if (ours && !std::filesystem::remove(slot_, error))
        given = Failure{"cannot remove " + slot_.string() + ": " + error.message()};
    if (given) {
        std::filesystem::remove(identityFile(), error);
        std::filesystem::remove(beforeFile(), error);
    }
    return given;
}

}  // namespace tavel
