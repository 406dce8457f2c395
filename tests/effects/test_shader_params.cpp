#include "effects/shader_params.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using nlohmann::json;

TEST(ShaderParamsJson, DefaultRecordHasExactlyTheFourControls) {
    auto encoded = encodeShaderParams(ShaderParams{});
    EXPECT_EQ(encoded.dump(), R"({"speed":1,"zoom":1,"intensity":1,"hue":0})");
}

TEST(ShaderParamsJson, OptionalsAreWrittenInOrderOnlyWhenPresent) {
    ShaderParams p{0.5f,         2.0f, 1.25f,       -30.0f, std::vector<float>{0.1f, 0.2f, 0.3f},
                   std::nullopt, 0.4f, std::nullopt};
    EXPECT_EQ(
        encodeShaderParams(p).dump(),
        R"({"speed":0.5,"zoom":2,"intensity":1.25,"hue":-30,"bg":[0.1,0.2,0.3],"custom1":0.4})");
}

TEST(ShaderParamsJson, RoundTripKeepsEveryFieldExactly) {
    ShaderParams p{0.7f,
                   0.45f,
                   1.3f,
                   123.4f,
                   std::vector<float>{0.028f, 0.028f, 0.04f},
                   std::vector<float>{1.0f, 0.6f, 0.22f},
                   68.0f,
                   0.185f};
    EXPECT_EQ(decodeShaderParams(json::parse(encodeShaderParams(p).dump())), p);
}

TEST(ShaderParamsJson, DecodingNeedsTheFourControlsAsNumbers) {
    auto p = decodeShaderParams(json::parse(R"({"speed":2,"zoom":1,"intensity":1,"hue":10})"));
    EXPECT_EQ(p.speed, 2.0f);
    EXPECT_EQ(p.hue, 10.0f);
    EXPECT_FALSE(p.bg || p.accent || p.custom1 || p.custom2);

    EXPECT_THROW(decodeShaderParams(json::parse(R"({"speed":1,"zoom":1,"intensity":1})")),
                 DecodeError);
    EXPECT_THROW(decodeShaderParams(json::parse(R"({"speed":"1","zoom":1,"intensity":1,"hue":0})")),
                 DecodeError);
    EXPECT_THROW(
        decodeShaderParams(json::parse(R"({"speed":null,"zoom":1,"intensity":1,"hue":0})")),
        DecodeError);
    EXPECT_THROW(
        decodeShaderParams(json::parse(R"({"speed":1e300,"zoom":1,"intensity":1,"hue":0})")),
        DecodeError);
    EXPECT_THROW(decodeShaderParams(json::parse("[1,1,1,0]")), DecodeError);
}

TEST(ShaderParamsJson, OptionalsMayBeNullAndUnknownKeysAreIgnored) {
    auto p = decodeShaderParams(json::parse(
        R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"bg":null,"custom2":null,"extra":[1]})"));
    EXPECT_EQ(p, ShaderParams{});
}

TEST(ShaderParamsJson, ColourArraysOfWrongLengthOrType) {
    auto four = decodeShaderParams(
        json::parse(R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"accent":[0.1,0.2,0.3,0.9]})"));
    ASSERT_TRUE(four.accent);
    EXPECT_EQ(four.accent->size(), 4u);  // kept; readers use the first three

    // Too short to be a colour: read as absent, so nothing reads past its end.
    auto two = decodeShaderParams(
        json::parse(R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"bg":[0.5,0.5]})"));
    EXPECT_FALSE(two.bg);

    EXPECT_THROW(decodeShaderParams(
                     json::parse(R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"bg":["red",0,0]})")),
                 DecodeError);
    EXPECT_THROW(decodeShaderParams(
                     json::parse(R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"bg":"#fff"})")),
                 DecodeError);
}

TEST(ShaderParamsJson, FloatsAreWrittenWithTheirShortestText) {
    EXPECT_EQ(jsonFromFloat(0.1f).dump(), "0.1");
    EXPECT_EQ(jsonFromFloat(0.185f).dump(), "0.185");
    EXPECT_EQ(jsonFromFloat(68.0f).dump(), "68");
    EXPECT_EQ(jsonFromFloat(-0.5f).dump(), "-0.5");
    EXPECT_EQ(floatFromJson(json::parse("0.1"), "x"), 0.1f);
}

TEST(ShaderParams, EqualityIsFieldWise) {
    ShaderParams a, b;
    EXPECT_EQ(a, b);
    b.custom1 = 0.0f;
    EXPECT_NE(a, b);  // absent equals only absent
    a.custom1 = 0.0f;
    EXPECT_EQ(a, b);
    a.bg = std::vector<float>{1, 1, 1};
    b.bg = std::vector<float>{1, 1, 1, 1};
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace tavel
