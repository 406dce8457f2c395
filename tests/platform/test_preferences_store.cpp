#include "platform/preferences_store.h"

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(FolderPreferencesStore, StoresPlainKeysPrivatelyAndBoolsAsText) {
    test::TempDir dir;
    FolderPreferencesStore store(dir / "io.example.App");
    EXPECT_FALSE(store.exists());
    EXPECT_FALSE(store.data("key"));
    EXPECT_EQ(store.setData("key", bytes("{\"a\":1}")), "");
    EXPECT_EQ(store.setData("key", bytes("second")), "");
    EXPECT_EQ(store.data("key"), bytes("second"));
    EXPECT_EQ(std::filesystem::status(dir / "io.example.App" / "key").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::filesystem::status(dir / "io.example.App").permissions(),
              std::filesystem::perms::owner_all);

    EXPECT_FALSE(store.boolValue("flag"));
    store.setBool("flag", false);
    EXPECT_EQ(store.data("flag"), bytes("false"));
    EXPECT_EQ(store.boolValue("flag"), false);
    store.setData("flag", bytes("yes"));
    EXPECT_FALSE(store.boolValue("flag"));

    for (const char* key : {"", "../escape", "a/b", ".hidden", ".."}) {
        EXPECT_NE(store.setData(key, bytes("x")), "") << key;
        EXPECT_FALSE(store.data(key)) << key;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "escape"));
    int files = 0;  // no temporary file left behind
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir / "io.example.App"))
        ++files;
    EXPECT_EQ(files, 2);
}

// A file-size limit makes the write itself fail, also for root (who ignores folder
// permissions): the previous file stays and no temporary file is left.
TEST(AtomicFile, AFailedWriteLeavesThePreviousFileIntact) {
    test::TempDir dir;
    auto path = dir / "value";
    ASSERT_EQ(writeFileAtomically(path, bytes("old")), "");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 8;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error = writeFileAtomically(path, bytes(std::string(64, 'n')));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    int entries = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, WhatCannotBeReplacedIsReportedAndLeftAsItWas) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "taken" / "child");
    for (auto target : {dir / "missing" / "value", dir / "taken"}) {
        std::string error = writeFileAtomically(target, bytes("x"));
        EXPECT_NE(error.find(target.parent_path() == dir.path() ? "taken" : "missing"),
                  std::string::npos)
            << error;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken" / "child"));
    int entries = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);  // no temporary file left
}

// Dotfiles kept in a repository and linked into place stay links; their targets change.
TEST(AtomicFile, ALinkedFileIsWrittenThroughToItsTarget) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "dotfiles");
    std::filesystem::create_directories(dir / "config");
    std::ofstream(dir / "dotfiles" / "value") << "old";
    std::filesystem::create_symlink("../dotfiles/value", dir / "config" / "hop");
    std::filesystem::create_symlink(dir / "config" / "hop", dir / "config" / "value");
    ASSERT_EQ(writeFileAtomically(dir / "config" / "value", bytes("new")), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "config" / "value"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "config" / "hop"));
    std::ifstream in(dir / "dotfiles" / "value");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    EXPECT_EQ(std::filesystem::status(dir / "dotfiles" / "value").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // A link to itself is an error, not a loop.
    std::filesystem::create_symlink("loop", dir / "config" / "loop");
    EXPECT_NE(writeFileAtomically(dir / "config" / "loop", bytes("x")), "");
}

TEST(AtomicFile, LeftoversOfInterruptedWritesAreRemovedAndNothingElse) {
    test::TempDir dir;
    const char* leftovers[] = {".value.Ab3xYz", ".marlowen.settings.v2.000000"};
    const char* kept[] = {"value", "marlowen.settings.v2.undecodable", ".value.short", ".Ab3xYz"};
    for (const char* name : leftovers) std::ofstream(dir / name) << "half";
    for (const char* name : kept) std::ofstream(dir / name) << "keep";
    std::filesystem::create_symlink("value", dir / ".link.Ab3xYz");
    removeAtomicWriteLeftovers(dir.path());
    for (const char* name : leftovers) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    for (const char* name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / ".link.Ab3xYz"));
}

}  // namespace
}  // namespace tavel
