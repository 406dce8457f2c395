// The settings record's JSON, and loading it from real preference folders.

#include "app/core/app_settings.h"
#include "app/core/settings_loader.h"

#include "platform/app_identity.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>

namespace tavel {
namespace {

using Change = std::function<void(AppSettings&)>;

TEST(AppSettingsJson, TheDefaultRecordWritesItsKeysInOrderAndAFullOneRoundTrips) {
    EXPECT_EQ(encodeAppSettingsText(AppSettings{}),
              R"({"globalShaderID":"halvane","perDisplay":{},"sameOnAllDisplays":true,)"
              R"("params":{},"fps":30,"retinaQuality":true,"pauseOnLowPower":true,)"
              R"("showDockIcon":true,"shuffleMinutes":0,"paused":false,"syncLockScreen":true,)"
              R"("idleAnimateMinutes":5,"liveLockVideo":false,"coverDesktopIcons":false})");
    const ShaderParams tiles{1.5f, 0.8f, 1.1f, 30, {}, std::vector<float>{0.2f, 0.3f, 0.4f}, 7, {}};
    AppSettings s;  // every field off its default
    s.globalShaderID = "vortex";
    s.perDisplay = {{"123", "tiles"}, {"0", "no-such-effect"}};
    s.sameOnAllDisplays = false;
    s.params = {{"tiles", tiles}, {"orphan", {}}};
    s.fps = 60;
    s.retinaQuality = s.pauseOnLowPower = s.showDockIcon = s.syncLockScreen = false;
    s.shuffleMinutes = 15;
    s.paused = s.liveLockVideo = true;
    s.idleAnimateMinutes = -1;
    EXPECT_EQ(decodeAppSettingsText(encodeAppSettingsText(s)), s);
    s.perDisplay = {{"\xff", "tiles"}};  // a hand-edited key that is not UTF-8
    EXPECT_EQ(decodeAppSettingsText(encodeAppSettingsText(s)).perDisplay.at("\uFFFD"), "tiles");
}

// Missing and null keys get defaults, unknown ones are ignored; a wrong type fails it all.
TEST(AppSettingsJson, DecodingTakesWhatItKnowsOrNothing) {
    const std::pair<const char*, Change> cases[] = {
        {"{}", {}},
        {R"({"sameOnAllDisplays":null,"paused":null,"fps":null,"params":null})", {}},
        {R"({"fps":30.0,"unknown":{"deep":[1,2]}})", {}},
        // Kept as it is; resolved to an effect only where one is shown.
        {R"({"globalShaderID":"Nope"})", [](AppSettings& s) { s.globalShaderID = "Nope"; }},
        // A record from before the idle saver and the lock-screen video.
        {R"({"perDisplay":{"7":"orbits"},"fps":24,"paused":true})",
         [](AppSettings& s) {
             s.perDisplay = {{"7", "orbits"}};
             s.fps = 24;
             s.paused = true;
         }},
        {R"({"shuffleMinutes":9223372036854775807,"idleAnimateMinutes":-1e3})",
         [](AppSettings& s) {
             s.shuffleMinutes = INT64_MAX;
             s.idleAnimateMinutes = -1000;
         }},
    };
    for (const auto& [text, change] : cases) {
        AppSettings expected;
        if (change) change(expected);
        EXPECT_EQ(decodeAppSettingsText(text), expected) << text;
    }
    for (const char* text :
         {R"({"fps":"30"})", R"({"fps":30.5})", R"({"idleAnimateMinutes":1e30})", R"({"paused":0})",
          R"({"perDisplay":{"1":2}})", R"({"params":{"tiles":{"zoom":1,"intensity":1,"hue":0}}})",
          "[]", R"({"fps":30,)"})
        EXPECT_THROW(decodeAppSettingsText(text), DecodeError) << text;
}

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
            all[std::filesystem::relative(entry.path(), dir.path()).string()] =
                entry.is_regular_file() ? test::slurp(entry.path()) : "";
        }
        return all;
    }
};

TEST(SettingsLoading, LoadingTakesOverAndKeepsACopy) {
    struct Case {
        const char* what;
        const char* own;     // the value in the application's domain; null: none
        const char* legacy;  // the legacy domain's; null: no such domain
        const char* shown;   // the loaded effect
        bool undecodable;
    };
    const Case cases[] = {
        {"nothing stored", nullptr, nullptr, "halvane", false},
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
        EXPECT_TRUE(!c.own || d.standard.setData(kKey, bytes(c.own)));
        EXPECT_TRUE(!c.legacy || d.legacy.setData(kKey, bytes(c.legacy)));
        const char* value = c.own ? c.own : c.legacy;
        LoadedSettings loaded = loadSettings(d.standard, d.opener(), d.log);
        EXPECT_EQ(loaded.settings.globalShaderID, c.shown);
        EXPECT_EQ(loaded.undecodable, c.undecodable);
        EXPECT_EQ(loaded.error.empty(), !c.undecodable);
        EXPECT_EQ(d.legacyOpened, c.own ? 0 : 1);  // only when there is no own value
        if (value)
            EXPECT_EQ(d.standard.data(kKey), bytes(value));  // as it was, byte for byte
        else
            EXPECT_FALSE(d.standard.exists());
        const auto copy = c.undecodable ? std::optional(bytes(value)) : std::nullopt;
        EXPECT_EQ(d.standard.data(kCopy), copy);
        EXPECT_EQ(loaded.keptCopy, copy ? d.standard.describe(kCopy) : "");
        EXPECT_EQ(d.log.lines().size(), copy ? 1u : 0u);
        for (const std::string& line : d.log.lines())
            EXPECT_EQ(line, "Tavel: stored settings could not be read (" + loaded.error +
                                "); using defaults, a copy is kept in " + loaded.keptCopy);

        // Later starts find it all in place, whatever the legacy domain holds by then.
        EXPECT_TRUE(!(value && c.legacy) ||
                    d.legacy.setData(kKey, bytes(R"({"globalShaderID":"tiles"})")));
        const auto after = d.files();
        EXPECT_EQ(loadSettings(d.standard, d.opener(), d.log).settings, loaded.settings);
        EXPECT_EQ(d.files(), after);
        EXPECT_EQ(d.log.lines().size(), copy ? 1u : 0u);
    }
}

TEST(SettingsLoading, ADifferentUndecodableValueKeepsTheEarlierCopy) {
    Domains d;
    const auto typo = bytes(R"({"fps":"60"})"), other = bytes("not json at all");
    EXPECT_TRUE(d.standard.setData(kKey, typo));
    loadSettings(d.standard, d.opener(), d.log);
    EXPECT_TRUE(d.standard.setData(kKey, other));
    EXPECT_EQ(loadSettings(d.standard, d.opener(), d.log).keptCopy,
              d.standard.describe(kCopy + "-2"));
    EXPECT_EQ(d.standard.data(kCopy), typo);
    EXPECT_EQ(d.standard.data(kCopy + "-2"), other);
}

}  // namespace
}  // namespace tavel
