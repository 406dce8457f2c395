// The settings folder and atomic writes; a file-size limit makes writes fail, even for root.

#include "platform/atomic_file.h"
#include "platform/preferences_store.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace tavel {
namespace {

using std::filesystem::perms;
using test::slurp;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}
// The entries in `folder`: a temporary file left behind shows here.
long entries(const std::filesystem::path& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

TEST(FolderPreferencesStore, StoresPlainKeysPrivatelyAndBoolsAsText) {
    test::TempDir dir;
    FolderPreferencesStore store(dir / "io.example.App");
    EXPECT_FALSE(store.data("key"));
    EXPECT_EQ(store.setData("key", bytes("{\"a\":1}")).why(), "");
    EXPECT_EQ(store.setData("key", bytes("second")).why(), "");
    EXPECT_EQ(store.data("key"), bytes("second"));
    EXPECT_EQ(std::filesystem::status(dir / "io.example.App" / "key").permissions(),
              perms::owner_read | perms::owner_write);
    EXPECT_EQ(std::filesystem::status(dir / "io.example.App").permissions(), perms::owner_all);

    EXPECT_TRUE(store.setBool("flag", true));
    EXPECT_EQ(store.data("flag"), bytes("true"));

    for (const char* key : {"", "../escape", "a/b", ".hidden", ".."}) {
        EXPECT_FALSE(store.setData(key, bytes("x"))) << key;
        EXPECT_FALSE(store.data(key)) << key;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "escape"));
    EXPECT_EQ(entries(dir / "io.example.App"), 2);
}

TEST(AtomicFile, AFailedWriteOrCopyLeavesWhatWasThere) {
    test::TempDir dir;
    ASSERT_EQ(writeFileAtomically(dir / "value", bytes("old")).why(), "");
    std::filesystem::create_directories(dir / "taken" / "child");
    std::ofstream(dir / "movie") << std::string(4096, 'm');
    std::string full, copyFull;
    test::withFileSizeLimit(8, [&] {
        full = writeFileAtomically(dir / "value", bytes(std::string(64, 'n'))).why();
        copyFull = copyFileAtomically(dir / "movie", dir / "copy").why();
    });
    EXPECT_NE(full.find("cannot write"), std::string::npos) << full;
    EXPECT_NE(copyFull.find("cannot write"), std::string::npos) << copyFull;
    EXPECT_FALSE(writeFileAtomically(dir / "missing" / "value", bytes("x")));
    EXPECT_FALSE(writeFileAtomically(dir / "taken", bytes("x")));
    EXPECT_FALSE(copyFileAtomically(dir / "movie", dir / "value", CopyMode::keepExisting));
    EXPECT_FALSE(copyFileAtomically(dir / "taken", dir / "other"));  // not a regular file
    EXPECT_EQ(slurp(dir / "value"), "old");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken" / "child"));
    EXPECT_EQ(entries(dir.path()), 3);  // value, taken, movie: nothing temporary, no copy

    ASSERT_EQ(copyFileAtomically(dir / "movie", dir / "copy").why(), "");
    EXPECT_EQ(std::filesystem::file_size(dir / "copy"), 4096u);
}

// Dotfiles kept in a repository and linked into place stay links; their targets change.
TEST(AtomicFile, ALinkedFileIsWrittenThroughToItsTarget) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "dotfiles");
    std::filesystem::create_directories(dir / "config");
    std::ofstream(dir / "dotfiles" / "value") << "old";
    std::filesystem::create_symlink("../dotfiles/value", dir / "config" / "hop");
    std::filesystem::create_symlink(dir / "config" / "hop", dir / "config" / "value");
    ASSERT_EQ(writeFileAtomically(dir / "config" / "value", bytes("new")).why(), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "config" / "value"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "config" / "hop"));
    EXPECT_EQ(slurp(dir / "dotfiles" / "value"), "new");
    EXPECT_EQ(std::filesystem::status(dir / "dotfiles" / "value").permissions(),
              perms::owner_read | perms::owner_write);
    // A link to itself is an error, not a loop.
    std::filesystem::create_symlink("loop", dir / "config" / "loop");
    EXPECT_FALSE(writeFileAtomically(dir / "config" / "loop", bytes("x")));
}

TEST(AtomicFile, LeftoversOfInterruptedWritesAreRemovedAndNothingElse) {
    test::TempDir dir;
    const char* leftovers[] = {".value.Ab3xYz", ".marlowen.settings.v2.000000"};
    const char* kept[] = {"value", "marlowen.settings.v2.undecodable", ".value.short", ".Ab3xYz"};
    for (const char* name : leftovers) std::ofstream(dir / name) << "half";
    for (const char* name : kept) std::ofstream(dir / name) << "keep";
    std::filesystem::create_symlink("value", dir / ".link.Ab3xYz");
    // With an age, newer ones may be another process's write in progress and stay.
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

}  // namespace
}  // namespace tavel
