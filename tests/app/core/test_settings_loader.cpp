#include "app/core/settings_loader.h"

#include "platform/app_identity.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class SettingsLoading : public ::testing::Test {
protected:
    test::TempDir dir;
    FolderPreferencesStore standard{dir / "standard"};
    FolderPreferencesStore legacy{dir / "legacy"};
    MemoryLogSink log;
    int legacyOpened = 0;

    PreferencesOpener opener() {
        return [this]() -> std::unique_ptr<PreferencesStore> {
            ++legacyOpened;
            if (!legacy.exists()) return nullptr;
            return std::make_unique<FolderPreferencesStore>(legacy.folder());
        };
    }
};

TEST_F(SettingsLoading, NothingStoredGivesDefaultsAndWritesNothing) {
    auto loaded = loadSettings(standard, opener(), log);
    EXPECT_EQ(loaded.settings, AppSettings{});
    EXPECT_FALSE(loaded.undecodable);
    EXPECT_FALSE(standard.exists());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SettingsLoading, StoredValueIsDecodedAndTheLegacyDomainIsNotConsulted) {
    standard.setData(kSettingsKey, bytes(R"({"globalShaderID":"ridges","fps":60})"));
    auto loaded = loadSettings(standard, opener(), log);
    EXPECT_EQ(loaded.settings.globalShaderID, "ridges");
    EXPECT_EQ(loaded.settings.fps, 60);
    EXPECT_EQ(legacyOpened, 0);
}

TEST_F(SettingsLoading, TakesOverTheLegacyValueOnce) {
    const auto old = bytes(R"({"globalShaderID":"dome","paused":true})");
    legacy.setData(kSettingsKey, old);
    auto first = loadSettings(standard, opener(), log);
    EXPECT_EQ(first.settings.globalShaderID, "dome");
    EXPECT_TRUE(first.settings.paused);
    EXPECT_EQ(standard.data(kSettingsKey), old);  // copied over byte for byte
    EXPECT_EQ(legacyOpened, 1);

    // Later starts read the copy, even when the legacy value changes or goes away.
    legacy.setData(kSettingsKey, bytes(R"({"globalShaderID":"tiles"})"));
    auto second = loadSettings(standard, opener(), log);
    EXPECT_EQ(second.settings.globalShaderID, "dome");
    EXPECT_EQ(legacyOpened, 1);
}

TEST_F(SettingsLoading, LegacyDomainWithoutTheKeyGivesDefaults) {
    legacy.setData("someOtherKey", bytes("x"));
    auto loaded = loadSettings(standard, opener(), log);
    EXPECT_EQ(loaded.settings, AppSettings{});
    EXPECT_FALSE(standard.data(kSettingsKey));
}

TEST_F(SettingsLoading, UndecodableValueIsLeftUntouchedAndACopyIsKeptOnce) {
    const auto typo = bytes(R"({"globalShaderID":"vortex","fps":"60"})");
    standard.setData(kSettingsKey, typo);
    auto loaded = loadSettings(standard, opener(), log);
    EXPECT_EQ(loaded.settings, AppSettings{});
    EXPECT_TRUE(loaded.undecodable);
    EXPECT_EQ(standard.data(kSettingsKey), typo);
    const std::string copyKey = std::string(kSettingsKey) + ".undecodable";
    EXPECT_EQ(standard.data(copyKey), typo);
    EXPECT_EQ(loaded.keptCopy, standard.describe(copyKey));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find(standard.describe(copyKey)), std::string::npos);
    EXPECT_NE(log.lines()[0].find("\"fps\""), std::string::npos);

    // The next start finds the same value already kept: no second copy, no second line.
    loadSettings(standard, opener(), log);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_FALSE(standard.data(copyKey + "-2"));

    // A different undecodable value does not replace the earlier copy.
    const auto other = bytes("not json at all");
    standard.setData(kSettingsKey, other);
    auto again = loadSettings(standard, opener(), log);
    EXPECT_EQ(standard.data(copyKey), typo);
    EXPECT_EQ(standard.data(copyKey + "-2"), other);
    EXPECT_EQ(again.keptCopy, standard.describe(copyKey + "-2"));
}

TEST_F(SettingsLoading, UndecodableLegacyValueIsTakenOverAndKept) {
    legacy.setData(kSettingsKey, bytes("[1,2,3]"));
    auto loaded = loadSettings(standard, opener(), log);
    EXPECT_TRUE(loaded.undecodable);
    EXPECT_EQ(standard.data(kSettingsKey), bytes("[1,2,3]"));
    EXPECT_EQ(standard.data(std::string(kSettingsKey) + ".undecodable"), bytes("[1,2,3]"));
}

}  // namespace
}  // namespace tavel
