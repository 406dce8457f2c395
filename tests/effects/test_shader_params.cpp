// Stored effect parameters (round trip and rejections: fuzz_shader_params, the settings loader).

#include "effects/shader_params.h"

#include <gtest/gtest.h>

namespace tavel {
namespace {

using nlohmann::json;

TEST(ShaderParamsJson, EncodesTheFourControlsThenOnlyThePresentOptionalsInOrder) {
    ShaderParams some{0.5f,         2.0f, 1.25f,       -30.0f, std::vector<float>{0.1f, 0.2f, 0.3f},
                      std::nullopt, 0.4f, std::nullopt};
    EXPECT_EQ(encodeShaderParams({}).dump(), R"({"speed":1,"zoom":1,"intensity":1,"hue":0})");
    EXPECT_EQ(
        encodeShaderParams(some).dump(),
        R"({"speed":0.5,"zoom":2,"intensity":1.25,"hue":-30,"bg":[0.1,0.2,0.3],"custom1":0.4})");
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

}  // namespace
}  // namespace tavel
