// What halvane shows, read from real files under a temporary XDG_CONFIG_HOME and HOME;
// and HalvaneSaver, the view class, against fakes of its view's services: what it logs
// at which frame, and that each host tick (and nothing else) draws one frame of the
// selection.

#include "saver/halvane_saver.h"
#include "saver/saver_selection.h"

#include "effects/catalog.h"
#include "support/temp_dir.h"
#include "support/view_fakes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tavel {
namespace {

TEST(SaverSelection, ComesFromTheFirstPlaceThatHoldsSettingsAndNamesAnEffectWithItsOwnTuning) {
    // The places in their order, below a case's folder (XDG_CONFIG_HOME is config, HOME
    // is home): the application's and the earlier domain, then their Flatpak containers.
    const char* const app = "config/io.tavel.Tavel";
    const char* const old = "config/io.marlowen.Tavel";
    const char* const appPak = "home/.var/app/io.tavel.Tavel/config/io.tavel.Tavel";
    const char* const oldPak = "home/.var/app/io.marlowen.Tavel/config/io.marlowen.Tavel";
    ShaderParams tuned;
    tuned.speed = 2, tuned.zoom = 0.5f, tuned.intensity = 0.75f, tuned.hue = 90;
    // Settings naming `global`, with `tuning` stored for `tunedId`.
    auto settings = [](const std::string& global, const std::string& tunedId,
                       const std::string& tuning =
                           R"({"speed":2,"zoom":0.5,"intensity":0.75,"hue":90})") {
        return R"({"globalShaderID":")" + global + R"(","params":{")" + tunedId + R"(":)" + tuning +
               "}}";
    };
    const std::string tiles = settings("tiles", "tiles"), ridges = settings("ridges", "ridges");
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::string>> stored;  // folder, settings value
        const char* effectId;
        ShaderParams params = {};
    };
    const Case cases[] = {
        {"nothing stored", {}, "halvane"},
        {"the application's domain first", {{app, tiles}, {old, ridges}}, "tiles", tuned},
        {"domains before containers", {{old, ridges}, {appPak, tiles}}, "ridges", tuned},
        {"the application's container first", {{appPak, ridges}, {oldPak, tiles}}, "ridges", tuned},
        {"only the earlier container", {{oldPak, tiles}}, "tiles", tuned},
        {"an unreadable key falls through", {{app, "<folder>"}, {old, ridges}}, "ridges", tuned},
        {"undecodable data is not passed over", {{app, "{not json"}, {old, ridges}}, "halvane"},
        {"a malformed tuning is undecodable", {{app, settings("tiles", "tiles", "[]")}}, "halvane"},
        {"per-display choices are ignored",
         {{app, R"({"sameOnAllDisplays":false,"perDisplay":{"1":"tiles"},)" + ridges.substr(1)}},
         "ridges",
         tuned},
        // Never another effect's tuning: defaults instead.
        {"an unknown global id", {{app, settings("aurora", "halvane")}}, "halvane"},
        {"only other effects tuned", {{app, settings("tiles", "ridges")}}, "tiles"},
    };
    auto value = [](const char* name) {
        return std::string(std::getenv(name) ? std::getenv(name) : "");
    };
    const std::string savedConfig = value("XDG_CONFIG_HOME"), savedHome = value("HOME");
    for (const Case& c : cases) {
        test::TempDir dir;
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("HOME", (dir / "home").c_str(), 1);
        for (const auto& [folder, text] : c.stored) {
            auto path = dir / folder / "marlowen.settings.v2";
            std::filesystem::create_directories(text == "<folder>" ? path : path.parent_path());
            if (text != "<folder>") std::ofstream(path) << text;  // else a key not readable
        }
        auto selection = loadSelection();
        EXPECT_EQ(selection.effect.id, c.effectId) << c.name;
        EXPECT_EQ(selection.params, c.params) << c.name;
    }
    setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(HalvaneSaver, EachTickDrawsTheSelectionAndFramesOneToThreeAndEvery150thAreLogged) {
    MemoryLogSink log;
    test::FakeCompiler compiler;
    compiler.known["ridges"] = {7, -1, {}};
    test::FakeRenderer renderer;
    test::FakeSurface surface;
    auto timer = std::make_shared<test::TimerState>();
    double now = 0;
    ShaderParams params;
    params.intensity = 0.25f, params.hue = 45;
    HalvaneSaver saver(64, 36,
                       {compiler, renderer, std::make_unique<test::FakeTimer>(timer),
                        [&now] { return now; }, [] { return 0.0; }, log},
                       {*shaderEffect("ridges"), params}, log);
    saver.shaderView().moveToWindow(&surface, 1.0, false);
    saver.startAnimation();
    for (int i = 0; i < 300; ++i) {
        now += saver.animationTimeInterval();
        saver.animateOneFrame();
    }

    const std::string frame = "HalvaneSaver: animateOneFrame #";
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "HalvaneSaver: startAnimation, interval=0.03333333333333333", frame + "1",
                  frame + "2", frame + "3", frame + "150", frame + "300"}));
    // The host's ticks are the only frames: the view's own frame loop never runs.
    EXPECT_EQ(timer->starts, 0);
    ASSERT_EQ(renderer.frames.size(), 300u);
    EXPECT_EQ(renderer.frames.back().program, 7u);
    const Uniforms& last = renderer.frames.back().uniforms;
    EXPECT_EQ(last.intensity, 0.25f);
    EXPECT_EQ(last.hue, 45.0f);
    // Effect time follows the ticks (speed 1).
    EXPECT_NEAR(last.time - renderer.frames.front().uniforms.time, 299.0 / 30.0, 1e-3);
}

}  // namespace
}  // namespace tavel
