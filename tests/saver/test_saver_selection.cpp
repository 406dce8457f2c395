// What halvane shows, read from the places the application's settings may be stored:
// real files under a temporary XDG_CONFIG_HOME and HOME.

#include "saver/saver_selection.h"

#include "effects/catalog.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>

namespace tavel {
namespace {

enum class Place { appDomain, legacyDomain, appFlatpak, legacyFlatpak };

// Where each place keeps the settings: below $XDG_CONFIG_HOME, or below $HOME.
struct Folder {
    bool inHome;
    const char* path;
};
const std::map<Place, Folder> kFolders = {
    {Place::appDomain, {false, "io.tavel.Tavel"}},
    {Place::legacyDomain, {false, "io.marlowen.Tavel"}},
    {Place::appFlatpak, {true, ".var/app/io.tavel.Tavel/config/io.tavel.Tavel"}},
    {Place::legacyFlatpak, {true, ".var/app/io.marlowen.Tavel/config/io.marlowen.Tavel"}},
};

// Stored tunings, as the application writes them.
const char* const kTuned = R"({"speed":2,"zoom":0.5,"intensity":0.75,"hue":90})";
const char* const kOther = R"({"speed":3,"zoom":1,"intensity":1,"hue":10,"custom1":4})";

ShaderParams tuned() {
    ShaderParams p;
    p.speed = 2;
    p.zoom = 0.5f;
    p.intensity = 0.75f;
    p.hue = 90;
    return p;
}

std::string settings(const std::string& globalId, const std::string& params) {
    return R"({"globalShaderID":")" + globalId + R"(","params":{)" + params + "}}";
}

struct Case {
    const char* name;
    std::map<Place, std::string> stored;  // the settings value at each place
    const char* effectId;
    std::optional<ShaderParams> params;  // nothing: the defaults
};

class SaverSelection : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string savedConfig_ = value("XDG_CONFIG_HOME"), savedHome_ = value("HOME");

    static std::string value(const char* name) {
        const char* text = std::getenv(name);
        return text ? text : "";
    }
    void TearDown() override {
        setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
        setenv("HOME", savedHome_.c_str(), 1);
    }

    // A fresh config and home folder per case, with `stored` written where it says.
    void prepare(const std::string& name, const std::map<Place, std::string>& stored) {
        auto config = dir / (name + "-config");
        auto home = dir / (name + "-home");
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        for (const auto& [place, value] : stored) {
            const Folder& folder = kFolders.at(place);
            auto path = (folder.inHome ? home : config) / folder.path / "marlowen.settings.v2";
            std::filesystem::create_directories(path.parent_path());
            if (value == "<folder>")  // a key that cannot be read as a file
                std::filesystem::create_directories(path);
            else
                std::ofstream(path) << value;
        }
    }
};

TEST_F(SaverSelection, ComesFromTheFirstPlaceThatHoldsSettingsAndNamesAnEffectWithItsOwnTuning) {
    const std::string tiles = settings("tiles", R"("tiles":)" + std::string(kTuned));
    const std::string ridges = settings("ridges", R"("ridges":)" + std::string(kTuned));
    const Case cases[] = {
        {"nothing stored", {}, "halvane", std::nullopt},
        {"both domains: the application's wins",
         {{Place::appDomain, tiles}, {Place::legacyDomain, ridges}},
         "tiles",
         tuned()},
        {"the earlier domain before any container",
         {{Place::legacyDomain, ridges}, {Place::appFlatpak, tiles}},
         "ridges",
         tuned()},
        {"only a Flatpak container", {{Place::appFlatpak, tiles}}, "tiles", tuned()},
        {"the application's container first",
         {{Place::appFlatpak, ridges}, {Place::legacyFlatpak, tiles}},
         "ridges",
         tuned()},
        {"only the earlier container", {{Place::legacyFlatpak, tiles}}, "tiles", tuned()},
        {"an unreadable key falls through",
         {{Place::appDomain, "<folder>"}, {Place::legacyDomain, ridges}},
         "ridges",
         tuned()},
        {"undecodable data found first is not passed over",
         {{Place::appDomain, "{not json"}, {Place::legacyDomain, ridges}},
         "halvane",
         std::nullopt},
        {"per-display choices are ignored",
         {{Place::appDomain, R"({"globalShaderID":"ridges","sameOnAllDisplays":false,)"
                             R"("perDisplay":{"1":"tiles","2":"orbits"},"params":{"ridges":)" +
                                 std::string(kTuned) + "}}"}},
         "ridges",
         tuned()},
        {"an unknown global id: the first effect with defaults, not its stored tuning",
         {{Place::appDomain,
           settings("aurora", R"("aurora":)" + std::string(kTuned) + R"(,"halvane":)" + kOther)}},
         "halvane",
         std::nullopt},
        {"tunings of other effects only: the global effect with defaults",
         {{Place::appDomain, settings("tiles", R"("ridges":)" + std::string(kTuned))}},
         "tiles",
         std::nullopt},
        {"no global id", {{Place::appDomain, R"({"params":{}})"}}, "halvane", std::nullopt},
        {"a global id that is not text",
         {{Place::appDomain, R"({"globalShaderID":7})"}},
         "halvane",
         std::nullopt},
        {"a malformed tuning makes the value undecodable",
         {{Place::appDomain, settings("tiles", R"("tiles":{"speed":"fast"})")}},
         "halvane",
         std::nullopt},
    };
    int n = 0;
    for (const Case& c : cases) {
        prepare("case" + std::to_string(++n), c.stored);
        auto selection = loadSelection();
        EXPECT_EQ(selection.effect, *shaderEffect(c.effectId)) << c.name;
        EXPECT_EQ(selection.params, c.params.value_or(ShaderParams())) << c.name;
    }
}

}  // namespace
}  // namespace tavel
