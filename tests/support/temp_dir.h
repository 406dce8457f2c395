#pragma once
// A fresh folder per test, removed afterwards, and reading files back.

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tavel::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "tavel-test-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;  // a test may have taken its permissions away
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Runs `work` with writes beyond `bytes` failing as on a full disk (for root too).
template <class Work>
void withFileSizeLimit(rlim_t bytes, Work&& work) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small{bytes, saved.rlim_max};
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    work();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

}  // namespace tavel::test
