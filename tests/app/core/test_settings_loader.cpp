// Both loaders over real preference folders: the read-only one and the running instance's.

#include "app/core/settings_loader.h"

#include "platform/app_identity.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tavel {
namespace {

const std::string kKey = kSettingsKey, kCopy = kKey + ".undecodable";

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

struct Domains {
    test::TempDir dir;
    FolderPreferencesStore standard{dir / "standard"}, legacy{dir / "legacy"};
    MemoryLogSink log;
    int legacyOpened = 0;

    PreferencesOpener opener() {
        return [this]() -> std::unique_ptr<PreferencesStore> {
            ++legacyOpened;
            if (!legacy.exists()) return nullptr;
            return std::make_unique<FolderPreferencesStore>(legacy.folder());
        };
    }
    // Every file of both domains with its content.
    std::map<std::string, std::string> files() const {
        std::map<std::string, std::string> all;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            std::ostringstream content;
            if (entry.is_regular_file()) content << std::ifstream(entry.path()).rdbuf();
            all[std::filesystem::relative(entry.path(), dir.path()).string()] = content.str();
        }
        return all;
    }
};

TEST(SettingsLoading, ReadingNeverWritesAndLoadingTakesOverAndKeepsACopy) {
    struct Case {
        const char* what;
        const char* own;     // the value in the application's domain; null: none
        const char* legacy;  // the legacy domain's; null: no such domain, "": no such key
        const char* shown;   // the loaded effect
        bool undecodable;
    };
    const Case cases[] = {
        {"nothing stored", nullptr, nullptr, "halvane", false},
        {"a legacy domain without the key", nullptr, "", "halvane", false},
        {"the own value first", R"({"globalShaderID":"ridges"})", R"({"globalShaderID":"dome"})",
         "ridges", false},
        {"the legacy value taken over", nullptr, R"({"globalShaderID":"dome"})", "dome", false},
        {"an undecodable own value", R"({"globalShaderID":"vortex","fps":"60"})", nullptr,
         "halvane", true},
        {"an undecodable legacy value", nullptr, "[1,2,3]", "halvane", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Domains d;
        if (c.own) d.standard.setData(kKey, bytes(c.own));
        if (c.legacy) d.legacy.setData(*c.legacy ? kKey : "otherKey", bytes(c.legacy));
        const auto before = d.files();
        const char* value = c.own ? c.own : c.legacy && *c.legacy ? c.legacy : nullptr;

        LoadedSettings read = readSettings(d.standard, d.opener());
        EXPECT_EQ(d.files(), before);
        EXPECT_EQ(read.settings.globalShaderID, c.shown);
        EXPECT_EQ(read.undecodable, c.undecodable);
        EXPECT_EQ(read.error.empty(), !c.undecodable);
        EXPECT_EQ(read.keptCopy, "");

        LoadedSettings loaded = loadSettings(d.standard, d.opener(), d.log);
        EXPECT_EQ(loaded.settings, read.settings);
        EXPECT_EQ(loaded.error, read.error);
        EXPECT_EQ(d.legacyOpened, c.own ? 0 : 2);  // only when there is no own value
        if (value)
            EXPECT_EQ(d.standard.data(kKey), bytes(value));  // as it was, byte for byte
        else
            EXPECT_FALSE(d.standard.exists());
        // An undecodable value is kept beside it, and one line says where.
        const auto copy = c.undecodable ? std::optional(bytes(value)) : std::nullopt;
        EXPECT_EQ(d.standard.data(kCopy), copy);
        EXPECT_EQ(loaded.keptCopy, copy ? d.standard.describe(kCopy) : "");
        EXPECT_EQ(d.log.lines().size(), copy ? 1u : 0u);
        for (const std::string& line : d.log.lines())
            EXPECT_EQ(line, "Tavel: stored settings could not be read (" + loaded.error +
                                "); using defaults, a copy is kept in " + loaded.keptCopy);

        // Later starts find it all in place, whatever the legacy domain holds by then.
        if (value && c.legacy) d.legacy.setData(kKey, bytes(R"({"globalShaderID":"tiles"})"));
        const auto after = d.files();
        EXPECT_EQ(loadSettings(d.standard, d.opener(), d.log).settings, loaded.settings);
        EXPECT_EQ(d.files(), after);
        EXPECT_EQ(d.log.lines().size(), copy ? 1u : 0u);
    }
}

TEST(SettingsLoading, ADifferentUndecodableValueKeepsTheEarlierCopy) {
    Domains d;
    const auto typo = bytes(R"({"fps":"60"})"), other = bytes("not json at all");
    d.standard.setData(kKey, typo);
    loadSettings(d.standard, d.opener(), d.log);
    d.standard.setData(kKey, other);
    EXPECT_EQ(loadSettings(d.standard, d.opener(), d.log).keptCopy,
              d.standard.describe(kCopy + "-2"));
    EXPECT_EQ(d.standard.data(kCopy), typo);
    EXPECT_EQ(d.standard.data(kCopy + "-2"), other);
}

}  // namespace
}  // namespace tavel
