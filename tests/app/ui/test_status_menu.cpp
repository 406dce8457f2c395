// The status bar item's menu, over a state on fakes, on a private bus; the test plays the
// panel (a real one shows the item in the sway desktop test).

#include "app/ui/tray/status_menu.h"
#include "platform/dbus/bus_test.h"
#include "platform/dbus/status_notifier_item.h"
#include "support/app_state_fixture.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

using Properties = std::map<std::string, sdbus::Variant>;
using Node = sdbus::Struct<std::int32_t, Properties, std::vector<sdbus::Variant>>;
using Lines = std::vector<std::string>;
constexpr const char* kMenu = "com.canonical.dbusmenu";
constexpr const char* kItem = "org.kde.StatusNotifierItem";

// A property value as text: strings as they are, booleans, integers, key lists as "A+b".
std::string text(const sdbus::Variant& value) {
    if (value.containsValueOfType<std::string>()) return value.get<std::string>();
    if (value.containsValueOfType<bool>()) return value.get<bool>() ? "true" : "false";
    if (value.containsValueOfType<std::int32_t>()) return std::to_string(value.get<std::int32_t>());
    if (value.containsValueOfType<std::vector<std::vector<std::string>>>()) {
        std::string keys;
        for (const auto& chord : value.get<std::vector<std::vector<std::string>>>())
            for (const std::string& key : chord) keys += (keys.empty() ? "" : "+") + key;
        return keys;
    }
    return "<" + value.peekValueType() + ">";
}

// The layout as one line per entry, "id key=value ...", children indented below it.
void describe(const Node& node, Lines& lines, const std::string& indent = "") {
    std::string line = indent + std::to_string(node.get<0>());
    for (const auto& [key, value] : node.get<1>()) line += " " + key + "=" + text(value);
    lines.push_back(line);
    for (const sdbus::Variant& child : node.get<2>())
        describe(child.get<Node>(), lines, indent + "  ");
}

// The whole menu as the panel reads it, with the effect `checked` ticked ("" for none).
Lines wholeMenu(std::uint32_t revision, const std::string& checked,
                const std::string& pause = "Pause") {
    int id = 0;
    auto entry = [&](const std::string& indent, const std::string& properties) {
        return indent + std::to_string(++id) + " " + properties;
    };
    auto command = [&](const std::string& label, char key) {
        return entry("  ", "enabled=true label=" + label + " shortcut=Control+" + key);
    };
    Lines lines = {"revision " + std::to_string(revision), "0 children-display=submenu",
                   command("Open Tavel\u2026", 'o'), entry("  ", "type=separator")};
    for (const ShaderCategory& category : shaderLibrary()) {
        lines.push_back(
            entry("  ", "children-display=submenu enabled=true label=" + category.name));
        for (const ShaderEffect& effect : category.effects)
            lines.push_back(entry("    ", "enabled=true label=" + effect.name + " toggle-state=" +
                                              (effect.id == checked ? "1" : "0") +
                                              " toggle-type=checkmark"));
    }
    lines.push_back(entry("  ", "type=separator"));
    lines.push_back(command("Shuffle Now", 's'));
    lines.push_back(command(pause, 'p'));
    lines.push_back(entry("  ", "type=separator"));
    lines.push_back(command("Quit Tavel", 'q'));
    return lines;
}

class TrayTest : public AppStateTest, public PrivateBus {
protected:
    // A call from the panel, answered while the loop runs: "ok" or the D-Bus error's name.
    template <class... Args>
    std::string call(sdbus::IProxy& proxy, const char* interface, const char* method,
                     const Args&... args) {
        auto message = proxy.createMethodCall(interface, method);
        (message << ... << args);
        std::optional<std::string> outcome;
        proxy.callMethod(message, [&](sdbus::MethodReply& r, const sdbus::Error* e) {
            outcome = e ? e->getName() : "ok";
            if (!e) reply = r;
        });
        host->wake();
        if (!runUntil([&] { return outcome.has_value(); })) return "no answer";
        return *outcome;
    }
    Lines layout(std::int32_t parent = 0, std::int32_t depth = -1, Lines names = {}) {
        std::uint32_t revision = 0;
        Node node;
        EXPECT_EQ(call(*menuProxy, kMenu, "GetLayout", parent, depth, names), "ok");
        *reply >> revision >> node;
        Lines lines{"revision " + std::to_string(revision)};
        describe(node, lines);
        return lines;
    }
    // Whether the host must read the layout again.
    bool aboutToShow(std::int32_t id) {
        bool needUpdate = false;
        EXPECT_EQ(call(*menuProxy, kMenu, "AboutToShow", id), "ok") << id;
        *reply >> needUpdate;
        return needUpdate;
    }
    // Clicks the entry labelled `label` in the layout as now read.
    void choose(const std::string& label) {
        for (const std::string& line : layout())
            if (line.find(" label=" + label + " ") != std::string::npos) {
                ASSERT_EQ(call(*menuProxy, kMenu, "Event", std::stoi(line), std::string("clicked"),
                               sdbus::Variant(std::int32_t{0}), std::uint32_t{0}),
                          "ok")
                    << label;
                return;
            }
        ADD_FAILURE() << "no entry " << label;
    }

    int opened = 0, quits = 0, builds = 0;
    StatusMenuCallbacks callbacks{[this] { ++opened; }, [this] { ++quits; }};
    std::unique_ptr<BusConnection> host;
    std::unique_ptr<sdbus::IProxy> menuProxy;
    std::optional<sdbus::MethodReply> reply;
};

// Pause reads the user's choice while low power pauses the views; per display, none is ticked.
TEST_F(TrayTest, MenuClicksAndUpdatesInOneSession) {
    randomIndex = [](std::size_t) { return std::size_t{0}; };
    desktop.lowPower = true;
    makeWith(R"({"pauseOnLowPower":true,"sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})");
    ASSERT_TRUE(state->viewsPaused());
    MemoryLogSink itemLog;
    auto itemBus = open(BusType::session);
    StatusNotifierItem item(
        *itemBus, scheduler_, StatusNotifierItem::Appearance{},
        [&] {
            ++builds;
            return buildStatusMenu(*state, callbacks);
        },
        itemLog);
    int activations = 0;
    item.setActivateHandler([&] { ++activations; });

    host = open(BusType::session);
    menuProxy = sdbus::createProxy(host->connection(), item.serviceName(), "/MenuBar");
    auto itemProxy =
        sdbus::createProxy(host->connection(), item.serviceName(), "/StatusNotifierItem");
    Lines announced;  // LayoutUpdated as "revision@parent"
    sdbus::Slot layoutUpdates = host->connection().addMatch(
        "type='signal',interface='com.canonical.dbusmenu',member='LayoutUpdated'",
        [&](sdbus::Message& signal) {
            std::uint32_t revision = 0;
            std::int32_t parent = -1;
            signal >> revision >> parent;
            announced.push_back(std::to_string(revision) + "@" + std::to_string(parent));
        });

    // A click on the icon.
    EXPECT_EQ(call(*itemProxy, kItem, "Activate", std::int32_t{5}, std::int32_t{7}), "ok");
    ASSERT_TRUE(runUntil([&] { return activations == 1; }));

    // The menu, read whole, built once.
    EXPECT_EQ(layout(), wholeMenu(1, ""));
    EXPECT_EQ(builds, 1);

    // Clicks run the actions on the loop, one by one or in a group.
    choose("Open Tavel\u2026");
    ASSERT_TRUE(runUntil([&] { return opened == 1; }));
    using Event = sdbus::Struct<std::int32_t, std::string, sdbus::Variant, std::uint32_t>;
    const std::int32_t quit = std::stoi(wholeMenu(1, "").back());
    ASSERT_EQ(call(*menuProxy, kMenu, "EventGroup",
                   std::vector<Event>{{quit, "clicked", sdbus::Variant(0), 0u}}),
              "ok");
    ASSERT_TRUE(runUntil([&] { return quits == 1; }));

    // Opening rebuilds; only a changed menu is announced, a submenu opening rebuilds it all.
    EXPECT_FALSE(aboutToShow(0));
    EXPECT_EQ(builds, 2);
    choose("Pause");
    ASSERT_TRUE(runUntil([&] { return state->settings().paused; }));
    EXPECT_TRUE(aboutToShow(3));
    EXPECT_EQ(layout(), wholeMenu(2, "", "Resume"));
    ASSERT_TRUE(runUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced, Lines{"2@0"});
    choose("Resume");
    ASSERT_TRUE(runUntil([&] { return !state->settings().paused; }));

    // An effect picked goes to every display; the target and browsing stay.
    const std::string target = state->displays().at(0).key;
    state->setSelectedDisplayTarget(target);
    state->setBrowseIndex(3);
    journal.clear();
    choose("Vortex");
    ASSERT_TRUE(runUntil([&] { return state->settings().globalShaderID == "vortex"; }));
    EXPECT_TRUE(state->settings().sameOnAllDisplays);
    EXPECT_TRUE(state->settings().perDisplay.empty());
    EXPECT_EQ(state->selectedDisplayTarget(), target);
    EXPECT_EQ(state->browseIndex(), 3);
    EXPECT_EQ(calls("still"), 0);  // no lock screen refresh of its own
    EXPECT_EQ(shown(), "vortex vortex");
    // The state changed: hosts that never announce an opening hear of it too.
    item.menuMayHaveChanged();
    ASSERT_TRUE(runUntil([&] { return announced.size() == 2; }));
    EXPECT_EQ(layout(), wholeMenu(3, "vortex"));
    choose("Shuffle Now");
    ASSERT_TRUE(runUntil([&] { return state->settings().globalShaderID != "vortex"; }));
}

}  // namespace
}  // namespace tavel::test
