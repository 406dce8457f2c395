#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavel {

namespace {

std::string failure(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

}  // namespace

std::string writeFileAtomically(const std::filesystem::path& path,
                                std::span<const std::uint8_t> bytes, unsigned mode) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
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
    return {};
}

}  // namespace tavel
