// The status bar menu built from the application state on fakes.

#include "app/ui/tray/status_menu.h"
#include "support/app_state_fixture.h"

#include <string>
#include <vector>

namespace tavel {
namespace {

using test::AppStateTest;

// The entries as one line each: label, "^key", "[x]"/"[ ]" for a check mark, "▸" for a
// submenu; "---" for a separator. Submenu entries are indented.
std::vector<std::string> describe(const std::vector<StatusMenuItem>& items,
                                  const std::string& indent = "") {
    std::vector<std::string> lines;
    for (const StatusMenuItem& item : items) {
        if (item.separator) {
            lines.push_back(indent + "---");
            continue;
        }
        std::string line = indent + item.label;
        if (!item.shortcutKey.empty()) line += " ^" + item.shortcutKey;
        if (item.checked) line += *item.checked ? " [x]" : " [ ]";
        if (!item.enabled) line += " (disabled)";
        if (!item.children.empty()) line += " \u25b8";
        if (!item.action && item.children.empty()) line += " (no action)";
        lines.push_back(line);
        for (const std::string& child : describe(item.children, indent + "  "))
            lines.push_back(child);
    }
    return lines;
}

// The checked entries as "Category/Effect".
std::vector<std::string> checked(const std::vector<StatusMenuItem>& menu) {
    std::vector<std::string> found;
    for (const StatusMenuItem& category : menu)
        for (const StatusMenuItem& effect : category.children)
            if (effect.checked.value_or(false))
                found.push_back(category.label + "/" + effect.label);
    return found;
}

const StatusMenuItem& entry(const std::vector<StatusMenuItem>& menu, const std::string& label) {
    for (const StatusMenuItem& item : menu) {
        if (item.label == label) return item;
        for (const StatusMenuItem& child : item.children)
            if (child.label == label) return child;
    }
    static const StatusMenuItem none;
    ADD_FAILURE() << "no entry " << label;
    return none;
}

class StatusMenuTest : public AppStateTest {
protected:
    std::vector<StatusMenuItem> menu() { return buildStatusMenu(*state, callbacks); }
    void choose(const std::string& label) {
        const auto built = menu();
        const StatusMenuItem& item = entry(built, label);
        ASSERT_TRUE(item.action) << label;
        item.action();
    }

    int opened = 0, quits = 0;
    StatusMenuCallbacks callbacks{[this] { ++opened; }, [this] { ++quits; }};
};

TEST_F(StatusMenuTest, EntriesInOrderWithTheirKeysAndOneSubmenuPerCategory) {
    make();
    std::vector<std::string> expected = {"Open Tavel\u2026 ^o", "---"};
    for (const ShaderCategory& category : shaderLibrary()) {
        expected.push_back(category.name + " \u25b8");
        for (const ShaderEffect& effect : category.effects)
            expected.push_back("  " + effect.name + (effect.id == "halvane" ? " [x]" : " [ ]"));
    }
    for (const char* line : {"---", "Shuffle Now ^s", "Pause ^p", "---", "Quit Tavel ^q"})
        expected.push_back(line);
    EXPECT_EQ(describe(menu()), expected);
}

TEST_F(StatusMenuTest, ChecksOnlyTheEffectChosenForAllDisplays) {
    const struct {
        const char* settings;
        std::vector<std::string> checked;
    } cases[] = {
        {R"({"globalShaderID":"halvane"})", {"Texture/Tavel"}},
        {R"({"globalShaderID":"vortex"})", {"Minimal/Vortex"}},
        // Per display: nothing, whatever the displays show.
        {R"({"globalShaderID":"halvane","sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        makeWith(c.settings);
        EXPECT_EQ(checked(menu()), c.checked);
    }
    // An id the catalog lacks checks nothing.
    state->updateSettings([](AppSettings& s) { s.globalShaderID = "retired"; });
    EXPECT_EQ(checked(menu()), std::vector<std::string>{});
}

TEST_F(StatusMenuTest, PauseReadsTheUsersChoiceEvenWhileLowPowerAlsoPauses) {
    desktop.lowPower = true;
    AppState& s = makeWith(R"({"pauseOnLowPower":true})");
    ASSERT_TRUE(s.viewsPaused());
    EXPECT_EQ(entry(menu(), "Pause").shortcutKey, "p");
    choose("Pause");
    EXPECT_TRUE(s.settings().paused);
    EXPECT_EQ(entry(menu(), "Resume").shortcutKey, "p");
    choose("Resume");
    EXPECT_FALSE(s.settings().paused);
}

TEST_F(StatusMenuTest, CommandsReachTheCallbacksAndTheState) {
    randomIndex = [](std::size_t) { return std::size_t{0}; };
    AppState& s = make();
    choose("Open Tavel\u2026");
    choose("Quit Tavel");
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(quits, 1);
    choose("Shuffle Now");
    EXPECT_NE(s.settings().globalShaderID, "halvane");
}

TEST_F(StatusMenuTest, PickingAnEffectSwitchesEveryDisplayAndLeavesTheTargetAlone) {
    AppState& s = makeWith(R"({"sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})");
    ASSERT_FALSE(s.displays().empty());
    const std::string target = s.displays().front().key;
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
}

}  // namespace
}  // namespace tavel
