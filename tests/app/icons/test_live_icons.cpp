// The accent colour from the running effect, and when the live icons are drawn again.

#include "app/icons/accent.h"
#include "app/icons/live_icon_refresher.h"

#include "support/app_state_fixture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavel {
namespace {

double saturationOf(Rgba c) {
    float high = std::max({c.r, c.g, c.b}), low = std::min({c.r, c.g, c.b});
    return high > 0 ? (high - low) / high : 0;
}

TEST(Accent, KeepsTheHueWithinTheSaturationAndBrightnessBounds) {
    struct Case {
        Rgba average;
        double saturation, brightness;
    };
    const Case cases[] = {
        {{0.5f, 0.5f, 0.5f, 1}, 0.35, 0.8},    // grey: the least saturation, bright enough
        {{0.2f, 0.05f, 0.05f, 1}, 0.85, 0.8},  // dark red: capped saturation, lifted
        {{0.1f, 0.2f, 0.9f, 1}, 0.85, 1.0},    // bright blue: brightness stays a colour
        {{0.6f, 0.45f, 0.3f, 1}, 0.8, 0.9},    // x 1.6 and x 1.5 inside the bounds
    };
    for (const Case& c : cases) {
        Rgba accent = accentFromAverage(c.average);
        EXPECT_NEAR(saturationOf(accent), c.saturation, 1e-5);
        EXPECT_NEAR(std::max({accent.r, accent.g, accent.b}), c.brightness, 1e-5);
        EXPECT_EQ(accent.a, 1.0f);
        // The hue is kept: the channels keep their order.
        EXPECT_EQ(c.average.r >= c.average.g, accent.r >= accent.g);
        EXPECT_EQ(c.average.g >= c.average.b, accent.g >= accent.b);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(accentFromAverage({nan, 0, 0, 1}), (Rgba{1, 1, 1, 1}));
}

class LiveIconsTest : public test::AppStateTest {
protected:
    LiveIconsTest() {
        refresher.attach(make());
        refresher.onStatusIconUpdate = [this](const Image& icon) { icons.push_back(icon.width); };
    }
    // Asks for a refresh, runs the icon queue and delivers what it rendered.
    void render() {
        refresher.refreshLiveIcons();
        iconQueue.runAll();
        clock.runPending();
    }

    test::ManualExecutor iconQueue;
    std::vector<std::string> rendered;
    std::vector<int> icons;
    std::vector<float> times;
    LiveIconRefresher refresher{
        clock, iconQueue, [this](const ShaderEffect& effect, const ShaderParams&, float time) {
            rendered.push_back(effect.id);
            times.push_back(time);
            LiveIconRenderer::Frame frame;
            frame.statusIcon.width = 19;
            frame.averageColor = {0.5f, 0.5f, 0.5f, 1};
            return std::optional(frame);
        }};
};

TEST_F(LiveIconsTest, TheFirstDisplaysEffectSetsTheAccentUnlessCoveredAsleepOrUnchanged) {
    state->setIdleSaverShown(true);  // nothing renders under the saver or while asleep
    render();
    state->setIdleSaverShown(false);
    desktop.slept();
    clock.runPending();
    render();
    EXPECT_TRUE(rendered.empty());
    EXPECT_EQ(state->accent(), AppState::kInitialAccent);
    desktop.woke();
    clock.runPending();

    state->updateSettings([](AppSettings& s) {
        s.sameOnAllDisplays = false;
        s.perDisplay = {{"1", "tiles"}, {"2", "orbits"}};
    });
    refresher.refreshLiveIcons();  // still rendering: skipped, no backlog
    render();
    EXPECT_EQ(rendered, (std::vector<std::string>{"tiles"}));
    EXPECT_EQ(icons, (std::vector<int>{19}));
    EXPECT_EQ(state->accent(), accentFromAverage({0.5f, 0.5f, 0.5f, 1}));

    // Paused, time stands still and nothing is drawn again until the parameters change.
    state->togglePaused();
    for (int i = 0; i < 3; ++i) {
        clock.advance(std::chrono::seconds(2));
        render();
    }
    EXPECT_EQ(rendered.size(), 1u);
    state->updateSettings([](AppSettings& s) { s.params["tiles"].hue = 40; });
    render();
    state->togglePaused();
    clock.advance(std::chrono::seconds(2));
    render();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_EQ(times[1], times[0]);  // the parameters changed, not the time
    EXPECT_GT(times[2], times[1]);
}

}  // namespace
}  // namespace tavel
