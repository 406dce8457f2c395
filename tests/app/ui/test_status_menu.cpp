// The status bar menu built from the application state on fakes.

#include "app/ui/tray/status_menu.h"
#include "support/app_state_fixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tavel {
namespace {

// One line per entry: label, "^key", "[x]"/"[ ]", "▸" for a submenu; "---" a separator.
std::vector<std::string> describe(const std::vector<StatusMenuItem>& items,
                                  const std::string& indent = "") {
    std::vector<std::string> lines;
    for (const StatusMenuItem& item : items) {
        std::string line = indent + (item.separator ? "---" : item.label);
        if (!item.shortcutKey.empty()) line += " ^" + item.shortcutKey;
        if (item.checked) line += *item.checked ? " [x]" : " [ ]";
        if (!item.enabled) line += " (disabled)";
        if (!item.children.empty()) line += " \u25b8";
        if (!item.separator && !item.action && item.children.empty()) line += " (no action)";
        lines.push_back(line);
        for (const std::string& child : describe(item.children, indent + "  "))
            lines.push_back(child);
    }
    return lines;
}

class StatusMenuTest : public test::AppStateTest {
protected:
    std::vector<StatusMenuItem> menu() { return buildStatusMenu(*state, callbacks); }
    // Runs the entry labelled `label`, at the top or in a submenu.
    void choose(const std::string& label) {
        for (const StatusMenuItem& item : menu())
            for (const StatusMenuItem& entry :
                 item.children.empty() ? std::vector{item} : item.children)
                if (entry.label == label) {
                    ASSERT_TRUE(entry.action) << label;
                    return entry.action();
                }
        ADD_FAILURE() << "no entry " << label;
    }

    int opened = 0, quits = 0;
    StatusMenuCallbacks callbacks{[this] { ++opened; }, [this] { ++quits; }};
};

// Only the effect chosen for all displays is checked: none per display, nor a retired id.
TEST_F(StatusMenuTest, EntriesInOrderWithTheirKeysAndTheEffectForAllDisplaysChecked) {
    auto expected = [](const std::string& checked) {
        std::vector<std::string> lines = {"Open Tavel\u2026 ^o", "---"};
        for (const ShaderCategory& category : shaderLibrary()) {
            lines.push_back(category.name + " \u25b8");
            for (const ShaderEffect& effect : category.effects)
                lines.push_back("  " + effect.name + (effect.id == checked ? " [x]" : " [ ]"));
        }
        for (const char* line : {"---", "Shuffle Now ^s", "Pause ^p", "---", "Quit Tavel ^q"})
            lines.push_back(line);
        return lines;
    };
    const std::pair<const char*, const char*> cases[] = {
        {R"({"globalShaderID":"halvane"})", "halvane"},
        {R"({"globalShaderID":"vortex"})", "vortex"},
        {R"({"globalShaderID":"halvane","sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})",
         ""},
    };
    for (auto [settings, checked] : cases) {
        makeWith(settings);
        EXPECT_EQ(describe(menu()), expected(checked)) << settings;
    }
    makeWith(R"({"globalShaderID":"vortex"})");
    state->updateSettings([](AppSettings& s) { s.globalShaderID = "retired"; });
    EXPECT_EQ(describe(menu()), expected(""));
}

// Pause reads the user's choice even while low power pauses the views too; picking an
// effect switches every display and leaves the target and the browse position alone.
TEST_F(StatusMenuTest, CommandsReachTheCallbacksAndTheState) {
    randomIndex = [](std::size_t) { return std::size_t{0}; };
    desktop.lowPower = true;
    AppState& s = makeWith(
        R"({"pauseOnLowPower":true,"sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})");
    ASSERT_TRUE(s.viewsPaused());
    choose("Pause");
    EXPECT_TRUE(s.settings().paused);
    EXPECT_EQ(std::ranges::count(describe(menu()), "Resume ^p"), 1);
    choose("Resume");
    EXPECT_FALSE(s.settings().paused);
    choose("Open Tavel\u2026");
    choose("Quit Tavel");
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(quits, 1);

    const std::string target = s.displays().at(0).key;
    s.setSelectedDisplayTarget(target);
    s.setBrowseIndex(3);
    std::vector<AppSettings> written;  // each write, as it lands
    s.addObserver([&](AppState::Property p) {
        if (p == AppState::Property::settings) written.push_back(s.settings());
    });
    journal.clear();
    choose("Vortex");
    written.push_back(s.settings());
    ASSERT_EQ(written.size(), 4u);  // the state before each of three writes, and after
    EXPECT_TRUE(written[1].sameOnAllDisplays);
    EXPECT_FALSE(written[1].perDisplay.empty());
    EXPECT_TRUE(written[2].perDisplay.empty());
    EXPECT_EQ(written[2].globalShaderID, "halvane");
    EXPECT_EQ(written[3].globalShaderID, "vortex");
    EXPECT_EQ(s.selectedDisplayTarget(), target);
    EXPECT_EQ(s.browseIndex(), 3);
    EXPECT_EQ(calls("still"), 0);  // no lock screen refresh of its own
    EXPECT_EQ(shown(), "vortex vortex");
    choose("Shuffle Now");
    EXPECT_NE(s.settings().globalShaderID, "vortex");
}

}  // namespace
}  // namespace tavel
