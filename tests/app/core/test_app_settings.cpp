#include "app/core/app_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace tavel {
namespace {

using Change = std::function<void(AppSettings&)>;

TEST(AppSettingsJson, TheDefaultRecordWritesItsKeysInOrder) {
    EXPECT_EQ(encodeAppSettingsText(AppSettings{}),
              R"({"globalShaderID":"halvane","perDisplay":{},"sameOnAllDisplays":true,)"
              R"("params":{},"fps":30,"retinaQuality":true,"pauseOnLowPower":true,)"
              R"("showDockIcon":true,"shuffleMinutes":0,"paused":false,"syncLockScreen":true,)"
              R"("idleAnimateMinutes":5,"liveLockVideo":false,"coverDesktopIcons":false})");
}

TEST(AppSettingsJson, ARecordWithEveryFieldSetRoundTrips) {
    const ShaderParams tiles{1.5f, 0.8f, 1.1f, 30, {}, std::vector<float>{0.2f, 0.3f, 0.4f}, 7, {}};
    AppSettings s;  // every field off its default
    s.globalShaderID = "vortex", s.perDisplay = {{"123", "tiles"}, {"0", "no-such-effect"}};
    s.sameOnAllDisplays = false, s.params = {{"tiles", tiles}, {"orphan", {}}}, s.fps = 60;
    s.retinaQuality = s.pauseOnLowPower = s.showDockIcon = s.syncLockScreen = false;
    s.shuffleMinutes = 15, s.paused = s.liveLockVideo = true, s.idleAnimateMinutes = -1;
    EXPECT_EQ(decodeAppSettingsText(encodeAppSettingsText(s)), s);
}

TEST(AppSettingsJson, MissingAndNullKeysGetDefaultsAndUnknownKeysAreIgnored) {
    const std::pair<const char*, Change> cases[] = {
        {"{}", {}},
        {R"({"sameOnAllDisplays":null,"paused":null,"fps":null,"params":null})", {}},
        {R"({"fps":30.0,"unknown":{"deep":[1,2]}})", {}},
        // Kept as it is; resolved to an effect only where one is shown.
        {R"({"globalShaderID":"Nope"})", [](AppSettings& s) { s.globalShaderID = "Nope"; }},
        // A record from before the idle saver and the lock-screen video.
        {R"({"perDisplay":{"7":"orbits"},"fps":24,"paused":true})",
         [](AppSettings& s) {
             s.perDisplay = {{"7", "orbits"}}, s.fps = 24, s.paused = true;
         }},
        {R"({"shuffleMinutes":9223372036854775807,"idleAnimateMinutes":-1e3})",
         [](AppSettings& s) { s.shuffleMinutes = INT64_MAX, s.idleAnimateMinutes = -1000; }},
    };
    for (const auto& [text, change] : cases) {
        AppSettings expected;
        if (change) change(expected);
        EXPECT_EQ(decodeAppSettingsText(text), expected) << text;
    }
}

TEST(AppSettingsJson, AnyWrongTypeFailsTheWholeRecord) {
    for (const char* text :
         {R"({"fps":"30"})", R"({"fps":30.5})", R"({"fps":9223372036854775808})",
          R"({"idleAnimateMinutes":1e30})", R"({"shuffleMinutes":true})", R"({"paused":0})",
          R"({"liveLockVideo":"true"})", R"({"globalShaderID":7})", R"({"perDisplay":[]})",
          R"({"perDisplay":{"1":2}})", R"({"params":[]})",
          R"({"params":{"tiles":{"zoom":1,"intensity":1,"hue":0}}})", "[]", R"("settings")",
          R"({"fps":30,)", ""}) {
        EXPECT_THROW(decodeAppSettingsText(text), DecodeError) << text;
    }
}

TEST(AppSettingsJson, ANumberJsonCannotHoldFailsTheEncodingButOddTextDoesNot) {
    const float inf = std::numeric_limits<float>::infinity();
    for (const Change& change : std::initializer_list<Change>{
             [](AppSettings& s) { s.params["tiles"].speed = NAN; },
             [&](AppSettings& s) { s.params["tiles"].custom1 = inf; },
             [&](AppSettings& s) {
                 s.params["dome"].accent = std::vector<float>{0, -inf, 0};
             },
         }) {
        AppSettings s;
        change(s);
        EXPECT_THROW(encodeAppSettingsText(s), EncodeError);
    }
    AppSettings s;
    s.perDisplay["\xff"] = "tiles";  // a hand-edited display key that is not UTF-8
    EXPECT_EQ(decodeAppSettingsText(encodeAppSettingsText(s)).perDisplay.at("\uFFFD"), "tiles");
}

}  // namespace
}  // namespace tavel
