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
    std::string error;
    test::withFileSizeLimit(
        8, [&] { error = writeFileAtomically(path, bytes(std::string(64, 'n'))); });
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
    // With an age, only leftovers that old go: a newer one may be another process's
    // write in progress.
    std::filesystem::last_write_time(
        dir / leftovers[0],
        std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    removeAtomicWriteLeftovers(dir.path(), std::chrono::seconds(60));
    EXPECT_FALSE(std::filesystem::exists(dir / leftovers[0]));
    EXPECT_TRUE(std::filesystem::exists(dir / leftovers[1]));
    removeAtomicWriteLeftovers(dir.path());
    for (const char* name : leftovers) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    for (const char* name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / ".link.Ab3xYz"));
}

// A copy goes the same way: a source that cannot be read in full, or a disk that fills,
// leaves nothing at the destination; an existing destination is kept when asked.
TEST(AtomicFile, ACopyIsWholeOrAbsent) {
    test::TempDir dir;
    std::ofstream(dir / "movie") << std::string(4096, 'm');
    std::ofstream(dir / "taken") << "taken";
    ASSERT_EQ(copyFileAtomically(dir / "movie", dir / "copy"), "");
    EXPECT_EQ(std::filesystem::file_size(dir / "copy"), 4096u);
    EXPECT_NE(copyFileAtomically(dir / "movie", dir / "taken", CopyMode::keepExisting), "");
    EXPECT_NE(copyFileAtomically(dir / "missing", dir / "other"), "");
    EXPECT_NE(copyFileAtomically(dir.path(), dir / "other"), "");  // not a regular file
    std::string error;
    test::withFileSizeLimit(1024, [&] { error = copyFileAtomically(dir / "movie", dir / "full"); });
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    std::ifstream in(dir / "taken");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "taken");
    int entries = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 3);  // movie, taken, copy: no temporary file, nothing half copied
}

}  // namespace
}  // namespace tavel
