#include "app/core/app_settings.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

TEST(AppSettingsJson, DefaultRecordWritesAllThirteenKeysInOrder) {
    EXPECT_EQ(encodeAppSettingsText(AppSettings{}),
              R"({"globalShaderID":"halvane","perDisplay":{},"sameOnAllDisplays":true,)"
              R"("params":{},"fps":30,"retinaQuality":true,"pauseOnLowPower":true,)"
              R"("showDockIcon":true,"shuffleMinutes":0,"paused":false,"syncLockScreen":true,)"
              R"("idleAnimateMinutes":5,"liveLockVideo":false})");
}

TEST(AppSettingsJson, RoundTripOfAFullRecord) {
    AppSettings s;
    s.globalShaderID = "vortex";
    s.perDisplay = {{"123", "tiles"}, {"0", "no-such-effect"}};
    s.sameOnAllDisplays = false;
    s.params["tiles"] = ShaderParams{1.5f,  0.8f,         1.1f,
                                     30.0f, std::nullopt, std::vector<float>{0.2f, 0.3f, 0.4f},
                                     7.0f,  std::nullopt};
    s.params["orphan"] = ShaderParams{};
    s.fps = 60;
    s.retinaQuality = false;
    s.pauseOnLowPower = false;
    s.showDockIcon = false;
    s.shuffleMinutes = 15;
    s.paused = true;
    s.syncLockScreen = false;
    s.idleAnimateMinutes = -1;
    s.liveLockVideo = true;
    EXPECT_EQ(decodeAppSettingsText(encodeAppSettingsText(s)), s);
}

TEST(AppSettingsJson, EmptyObjectAndNullsGiveDefaults) {
    EXPECT_EQ(decodeAppSettingsText("{}"), AppSettings{});
    AppSettings s = decodeAppSettingsText(R"({"sameOnAllDisplays":null,"paused":null,"fps":null})");
    EXPECT_TRUE(s.sameOnAllDisplays);
    EXPECT_FALSE(s.paused);
    EXPECT_EQ(s.fps, 30);
}

TEST(AppSettingsJson, OlderRecordsGetDefaultsForNewerFields) {
    AppSettings s = decodeAppSettingsText(
        R"({"globalShaderID":"dome","perDisplay":{"7":"orbits"},"sameOnAllDisplays":false,)"
        R"("params":{},"fps":24,"retinaQuality":false,"pauseOnLowPower":false,)"
        R"("showDockIcon":false,"shuffleMinutes":3,"paused":true,"syncLockScreen":false})");
    EXPECT_EQ(s.idleAnimateMinutes, 5);
    EXPECT_FALSE(s.liveLockVideo);
    EXPECT_EQ(s.globalShaderID, "dome");
    EXPECT_EQ(s.perDisplay.at("7"), "orbits");
    EXPECT_EQ(s.fps, 24);
    EXPECT_EQ(s.shuffleMinutes, 3);
    EXPECT_TRUE(s.paused);
}

TEST(AppSettingsJson, AnyWrongTypeFailsTheWholeRecord) {
    for (const char* text : {
             R"({"fps":"30"})",
             R"({"fps":30.5})",
             R"({"paused":0})",
             R"({"perDisplay":[]})",
             R"({"perDisplay":{"1":2}})",
             R"({"globalShaderID":7})",
             R"({"params":{"tiles":{"zoom":1,"intensity":1,"hue":0}}})",
             R"({"params":[]})",
             R"({"shuffleMinutes":true})",
             R"({"idleAnimateMinutes":1e30})",
             R"([])",
             R"("settings")",
             R"({"fps":30,)",
             "",
         }) {
        EXPECT_THROW(decodeAppSettingsText(text), DecodeError) << text;
    }
}

TEST(AppSettingsJson, LenientWhereItCanBe) {
    AppSettings s = decodeAppSettingsText(
        R"({"liveLockVideo":true,"unknown":{"deep":[1,2]},"fps":30.0,"globalShaderID":"Nope"})");
    EXPECT_TRUE(s.liveLockVideo);
    EXPECT_EQ(s.fps, 30);
    EXPECT_EQ(s.globalShaderID, "Nope");  // kept; resolved to an effect only where shown
}

}  // namespace
}  // namespace tavel
