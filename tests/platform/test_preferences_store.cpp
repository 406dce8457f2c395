#include "platform/preferences_store.h"

#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(FolderPreferencesStore, StoresDataPrivatelyAndReadsItBack) {
    test::TempDir dir;
    FolderPreferencesStore store(dir / "io.example.App");
    EXPECT_FALSE(store.exists());
    EXPECT_FALSE(store.data("key"));
    EXPECT_EQ(store.setData("key", bytes("{\"a\":1}")), "");
    EXPECT_TRUE(store.exists());
    EXPECT_EQ(store.data("key"), bytes("{\"a\":1}"));

    struct stat info {};
    ASSERT_EQ(stat((dir / "io.example.App" / "key").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir / "io.example.App").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    EXPECT_EQ(store.setData("key", bytes("second")), "");
    EXPECT_EQ(store.data("key"), bytes("second"));
    // No temporary files are left behind.
    int files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir / "io.example.App"))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(FolderPreferencesStore, BoolsAreTheTextsTrueAndFalse) {
    test::TempDir dir;
    FolderPreferencesStore store(dir.path());
    EXPECT_FALSE(store.boolValue("flag"));
    store.setBool("flag", true);
    EXPECT_EQ(store.data("flag"), bytes("true"));
    EXPECT_EQ(store.boolValue("flag"), true);
    store.setBool("flag", false);
    EXPECT_EQ(store.boolValue("flag"), false);
    store.setData("flag", bytes("yes"));
    EXPECT_FALSE(store.boolValue("flag"));
}

TEST(FolderPreferencesStore, RejectsKeysThatAreNotPlainNames) {
    test::TempDir dir;
    FolderPreferencesStore store(dir / "domain");
    for (const char* key : {"", "../escape", "a/b", ".hidden", ".."}) {
        EXPECT_NE(store.setData(key, bytes("x")), "") << key;
        EXPECT_FALSE(store.data(key)) << key;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "escape"));
}

TEST(AtomicFile, AFailedWriteLeavesThePreviousFileIntact) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    test::TempDir dir;
    auto path = dir / "value";
    ASSERT_EQ(writeFileAtomically(path, bytes("old")), "");
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_NE(writeFileAtomically(path, bytes("new")), "");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "old");
}

TEST(AtomicFile, AMissingFolderIsReportedAndNothingIsWritten) {
    test::TempDir dir;
    std::string error = writeFileAtomically(dir / "missing" / "value", bytes("x"));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(AtomicFile, ReplacingAFolderFailsAndKeepsIt) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "taken");
    std::filesystem::create_directory(dir / "taken" / "child");
    EXPECT_NE(writeFileAtomically(dir / "taken", bytes("x")), "");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken" / "child"));
    int leftovers = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path()))
        leftovers += entry.path().filename() != "taken";
    EXPECT_EQ(leftovers, 0);
}

}  // namespace
}  // namespace tavel
