// Stored effect parameters (catalog ids, names and lookup: the command line's test).

#include "effects/shader_params.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavel {
namespace {

using nlohmann::json;

TEST(ShaderParamsJson, EncodesTheFourControlsThenOnlyThePresentOptionalsInOrder) {
    const ShaderParams full{0.7f,
                            0.45f,
                            1.3f,
                            123.4f,
                            std::vector<float>{0.028f, 0.028f, 0.04f},
                            std::vector<float>{1.0f, 0.6f, 0.22f},
                            68.0f,
                            0.185f};
    ShaderParams some{0.5f,         2.0f, 1.25f,       -30.0f, std::vector<float>{0.1f, 0.2f, 0.3f},
                      std::nullopt, 0.4f, std::nullopt};
    EXPECT_EQ(encodeShaderParams({}).dump(), R"({"speed":1,"zoom":1,"intensity":1,"hue":0})");
    EXPECT_EQ(
        encodeShaderParams(some).dump(),
        R"({"speed":0.5,"zoom":2,"intensity":1.25,"hue":-30,"bg":[0.1,0.2,0.3],"custom1":0.4})");
    EXPECT_EQ(decodeShaderParams(json::parse(encodeShaderParams(full).dump())), full);
}

// Shortest text, and every float (the largest, the smallest) reads back exactly.
TEST(ShaderParamsJson, FloatsRoundTripThroughTheirShortestText) {
    const std::pair<float, const char*> kTexts[] = {
        {0.1f, "0.1"}, {0.185f, "0.185"}, {68.0f, "68"}, {-0.5f, "-0.5"}};
    for (auto [value, text] : kTexts) EXPECT_EQ(jsonFromFloat(value).dump(), text);
    constexpr float kLargest = std::numeric_limits<float>::max();
    for (float value : {0.1f, kLargest, -kLargest, std::numeric_limits<float>::denorm_min()})
        EXPECT_EQ(floatFromJson(json::parse(jsonFromFloat(value).dump()), "x"), value) << value;
    // Past the largest float's rounding range a number no longer fits.
    EXPECT_THROW(floatFromJson(json::parse("3.4028236e38"), "x"), DecodeError);
}

TEST(ShaderParamsJson, DecodesLenientlyWhereTheRecordAllows) {
    auto decode = [](const std::string& extra) {
        return decodeShaderParams(
            json::parse(R"({"speed":1,"zoom":1,"intensity":1,"hue":0)" + extra + "}"));
    };
    // Null optionals and unknown keys are ignored.
    EXPECT_EQ(decode(R"(,"bg":null,"custom2":null,"extra":[1])"), ShaderParams{});
    // Too short to be a colour: absent, so nothing reads past its end.
    EXPECT_FALSE(decode(R"(,"bg":[0.5,0.5])").bg);
    // A fourth component is kept; readers use the first three.
    EXPECT_EQ(decode(R"(,"accent":[0.1,0.2,0.3,0.9])").accent->size(), 4u);
}

TEST(ShaderParamsJson, RejectionsNameTheKey) {
    const std::pair<const char*, const char*> kBad[] = {
        {R"({"speed":1,"zoom":1,"intensity":1})", "hue"},
        {R"({"speed":"1","zoom":1,"intensity":1,"hue":0})", "speed"},
        {R"({"speed":null,"zoom":1,"intensity":1,"hue":0})", "speed"},
        {R"({"speed":1,"zoom":1e300,"intensity":1,"hue":0})", "zoom"},
        {R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"bg":["red",0,0]})", "bg"},
        {R"({"speed":1,"zoom":1,"intensity":1,"hue":0,"accent":"#fff"})", "accent"},
        {R"([1,1,1,0])", "not an object"},
    };
    for (auto [text, key] : kBad) {
        try {
            decodeShaderParams(json::parse(text));
            ADD_FAILURE() << "accepted " << text;
        } catch (const DecodeError& error) {
            EXPECT_NE(std::string(error.what()).find(key), std::string::npos)
                << text << ": " << error.what();
        }
    }
}

}  // namespace
}  // namespace tavel
