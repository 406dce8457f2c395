#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <system_error>
#include <vector>

namespace tavel {

namespace {

// Temporary files are hidden and end in mkstemp's six random characters.
constexpr const char* kTemporarySuffix = ".XXXXXX";
constexpr std::size_t kRandomLength = 6;
// As many links as the kernel follows in one path lookup.
constexpr int kMaxLinks = 40;

Failure failure(const std::string& what, const std::filesystem::path& path, int error) {
    return {what + " " + path.string() + ": " + std::strerror(error)};
}

// The file a write to `path` must replace: `path` itself, or where its chain of
// symbolic links ends (the end need not exist yet).
Result<std::filesystem::path> finalTarget(std::filesystem::path path) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        std::error_code code;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, code))) return path;
        std::filesystem::path target = std::filesystem::read_symlink(path, code);
        if (code) return failure("cannot read the link", path, code.value());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return failure("cannot follow the links of", path, ELOOP);
}

// The folder's entry for a renamed file reaches the disk only when the folder itself is
// flushed. A file system that cannot flush folders keeps what it can.
void flushFolder(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Makes a hidden temporary file beside `path`, has `fill` write it (returning 0, or the
// errno of what failed), flushes it, sets `mode` and moves it into place: over `path`,
// or with `replace` false only where nothing is yet (else EEXIST).
Result<void> replaceWith(const std::filesystem::path& path, unsigned mode, bool replace,
                         const std::function<int(int fd)>& fill) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + path.filename().string() + kTemporarySuffix)).string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) return failure("cannot create a file in", folder, errno);
    const std::filesystem::path temporary = pattern;

    auto abandon = [&](const std::string& what, int error) {
        if (fd >= 0) close(fd);
        unlink(temporary.c_str());
        return failure(what, path, error);
    };
    if (int error = fill(fd)) return abandon("cannot write", error);
    if (fchmod(fd, mode) != 0) return abandon("cannot set the mode of", errno);
    if (fsync(fd) != 0) return abandon("cannot flush", errno);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) return abandon("cannot close", errno);
    // A hard link fails where a file exists; rename would take its place.
    if (replace ? rename(temporary.c_str(), path.c_str()) != 0
                : link(temporary.c_str(), path.c_str()) != 0)
        return abandon("cannot replace", errno);
    if (!replace) unlink(temporary.c_str());
    flushFolder(folder);
    return {};
}

int writeAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        written += std::size_t(n);
    }
    return 0;
}

}  // namespace

Result<void> writeFileAtomically(const std::filesystem::path& requested,
                                 std::span<const std::uint8_t> bytes, unsigned mode,
                                 bool followLinks) {
    const Result<std::filesystem::path> path = followLinks ? finalTarget(requested) : requested;
    if (!path) return Failure{path.why()};
    return replaceWith(*path, mode, true,
                       [&](int fd) { return writeAll(fd, bytes.data(), bytes.size()); });
}

Result<void> copyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                                CopyMode copyMode) {
    int source = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (source < 0) return failure("cannot read", from, errno);
    struct stat facts {};
    if (fstat(source, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        int error = S_ISREG(facts.st_mode) ? errno : EINVAL;
        close(source);
        return failure("cannot copy", from, error);
    }
    Result<void> result =
        replaceWith(to, facts.st_mode & 0777, copyMode == CopyMode::replace, [source](int fd) {
            std::vector<std::uint8_t> buffer(1 << 20);
            for (;;) {
                ssize_t n = ::read(source, buffer.data(), buffer.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return errno;
                if (n == 0) return 0;
                if (int error = writeAll(fd, buffer.data(), std::size_t(n))) return error;
            }
        });
    close(source);
    return result;
}

void removeAtomicWriteLeftovers(const std::filesystem::path& folder,
                                std::chrono::seconds minimumAge) {
    const auto cutoff = std::filesystem::file_time_type::clock::now() - minimumAge;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        // ".<name>.<six characters>", a regular file (never a link: only its name would go).
        std::size_t dot = name.size() > kRandomLength + 2 ? name.size() - kRandomLength - 1 : 0;
        if (name[0] != '.' || dot < 2 || name[dot] != '.') continue;
        std::error_code statusError;
        if (entry.symlink_status(statusError).type() != std::filesystem::file_type::regular)
            continue;
        // Newer ones may be another running instance's writes in progress.
        if (minimumAge.count() > 0 && !(entry.last_write_time(statusError) < cutoff)) continue;
        std::filesystem::remove(entry.path(), statusError);
    }
}

}  // namespace tavel
