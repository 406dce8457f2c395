#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tavel {

namespace {

// Temporary files are hidden and end in mkstemp's six random characters.
constexpr const char* kTemporarySuffix = ".XXXXXX";
constexpr std::size_t kRandomLength = 6;
// As many links as the kernel follows in one path lookup.
constexpr int kMaxLinks = 40;

std::string failure(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

// The file a write to `path` must replace: `path` itself, or where its chain of
// symbolic links ends (the end need not exist yet).
std::filesystem::path finalTarget(std::filesystem::path path, std::string& error) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        std::error_code code;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, code))) return path;
        std::filesystem::path target = std::filesystem::read_symlink(path, code);
        if (code) {
            error = failure("cannot read the link", path, code.value());
            return {};
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    error = failure("cannot follow the links of", path, ELOOP);
    return {};
}

// The folder's entry for a renamed file reaches the disk only when the folder itself is
// flushed. A file system that cannot flush folders keeps what it can.
void flushFolder(const std::filesystem::path& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& requested,
                                std::span<const std::uint8_t> bytes, unsigned mode,
                                bool followLinks) {
    std::string linkError;
    const std::filesystem::path path = followLinks ? finalTarget(requested, linkError) : requested;
    if (path.empty()) return linkError;
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + path.filename().string() + kTemporarySuffix)).string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) return failure("cannot create a file in", folder, errno);
    const std::filesystem::path temporary = pattern;

    auto abandon = [&](const std::string& what) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        return failure(what, path, error);
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon("cannot write");
        }
        written += std::size_t(n);
    }
    if (fchmod(fd, mode) != 0) return abandon("cannot set the mode of");
    if (fsync(fd) != 0) return abandon("cannot flush");
    if (close(fd) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return failure("cannot close", path, error);
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        return failure("cannot replace", path, error);
    }
    flushFolder(folder);
    return {};
}

void removeAtomicWriteLeftovers(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        // ".<name>.<six characters>", a regular file (never a link: only its name would go).
        std::size_t dot = name.size() > kRandomLength + 2 ? name.size() - kRandomLength - 1 : 0;
        if (name[0] != '.' || dot < 2 || name[dot] != '.') continue;
        std::error_code statusError;
        if (entry.symlink_status(statusError).type() != std::filesystem::file_type::regular)
            continue;
        std::filesystem::remove(entry.path(), statusError);
    }
}

}  // namespace tavel
