// The status bar item with the application's menu, over a state on fakes, on a private bus;
// the test plays the watcher and the panel.

#include "app/ui/tray/status_menu.h"
#include "platform/dbus/bus_test.h"
#include "platform/dbus/status_notifier_item.h"
#include "support/app_state_fixture.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

using Properties = std::map<std::string, sdbus::Variant>;
using Node = sdbus::Struct<std::int32_t, Properties, std::vector<sdbus::Variant>>;
using Pixmap = sdbus::Struct<std::int32_t, std::int32_t, std::vector<std::uint8_t>>;
using Lines = std::vector<std::string>;
constexpr const char* kMenu = "com.canonical.dbusmenu";
constexpr const char* kItem = "org.kde.StatusNotifierItem";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

// A watcher on a connection of its own, noting each registration as "service from sender".
struct FakeWatcher {
    explicit FakeWatcher(std::unique_ptr<BusConnection> connection) : bus(std::move(connection)) {
        object = sdbus::createObject(bus->connection(), "/StatusNotifierWatcher");
        object->registerMethod("RegisterStatusNotifierItem")
            .onInterface(kStatusNotifierWatcherName)
            .implementedAs([this](const std::string& service) {
                registrations.push_back(service + " from " +
                                        object->getCurrentlyProcessedMessage()->getSender());
            });
        object->finishRegistration();
        bus->connection().requestName(kStatusNotifierWatcherName);
        bus->wake();
    }
    std::unique_ptr<BusConnection> bus;
    std::unique_ptr<sdbus::IObject> object;
    Lines registrations;
};

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
    // Whether the host must read the layout again; false also for an error.
    bool aboutToShow(std::int32_t id, const std::string& expected = "ok") {
        bool needUpdate = false;
        EXPECT_EQ(call(*menuProxy, kMenu, "AboutToShow", id), expected) << id;
        if (expected == "ok") *reply >> needUpdate;
        return needUpdate;
    }
    std::string event(std::int32_t id, const std::string& kind) {
        return call(*menuProxy, kMenu, "Event", id, kind, sdbus::Variant(std::int32_t{0}),
                    std::uint32_t{0});
    }
    // Clicks the entry labelled `label` in the layout as now read.
    void choose(const std::string& label) {
        for (const std::string& line : layout())
            if (line.find(" label=" + label + " ") != std::string::npos) {
                ASSERT_EQ(event(std::stoi(line), "clicked"), "ok") << label;
                return;
            }
        ADD_FAILURE() << "no entry " << label;
    }

    int opened = 0, quits = 0, builds = 0;
    bool failBuild = false;
    StatusMenuCallbacks callbacks{[this] { ++opened; }, [this] { ++quits; }};
    std::unique_ptr<BusConnection> host;
    std::unique_ptr<sdbus::IProxy> menuProxy;
    std::optional<sdbus::MethodReply> reply;
};

// Pause reads the user's choice while low power pauses the views; per display, none is ticked.
TEST_F(TrayTest, RegistrationLookMenuClicksAndUpdatesInOneSession) {
    randomIndex = [](std::size_t) { return std::size_t{0}; };
    desktop.lowPower = true;
    makeWith(R"({"pauseOnLowPower":true,"sameOnAllDisplays":false,"perDisplay":{"1":"tiles"}})");
    ASSERT_TRUE(state->viewsPaused());
    MemoryLogSink itemLog;
    auto itemBus = open(BusType::session);
    StatusNotifierItem item(
        *itemBus, scheduler_, StatusNotifierItem::Appearance{.pixmaps = {{2, 1, {}}}},
        [&] {
            ++builds;
            if (failBuild) throw std::runtime_error("no state");
            return buildStatusMenu(*state, callbacks);
        },
        itemLog);
    int activations = 0;
    item.setActivateHandler([&] { ++activations; });

    // No watcher yet; then a panel that starts and restarts.
    ASSERT_TRUE(runUntil([&] { return !itemLog.lines().empty(); }));
    EXPECT_NE(itemLog.lines()[0].find("no status notifier watcher"), std::string::npos);
    for (int start = 0; start < 2; ++start) {
        FakeWatcher watcher(open(BusType::session));
        ASSERT_TRUE(runUntil([&] { return !watcher.registrations.empty(); }));
        EXPECT_EQ(watcher.registrations,
                  Lines{item.serviceName() + " from " + itemBus->connection().getUniqueName()});
    }

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

    // The item's look, and a click on the icon.
    ASSERT_EQ(call(*itemProxy, "org.freedesktop.DBus.Properties", "GetAll", std::string(kItem)),
              "ok");
    Properties properties;
    *reply >> properties;
    for (const auto& [name, value] : std::map<std::string, std::string>{
             {"Id", "Tavel"}, {"IconName", "io.tavel.Tavel-symbolic"}, {"ItemIsMenu", "false"}})
        EXPECT_EQ(text(properties[name]), value) << name;
    EXPECT_EQ(properties["Menu"].get<sdbus::ObjectPath>(), "/MenuBar");
    const auto pixmaps = properties["IconPixmap"].get<std::vector<Pixmap>>();
    ASSERT_EQ(pixmaps.size(), 1u);
    EXPECT_EQ(std::pair(pixmaps[0].get<0>(), pixmaps[0].get<1>()), std::pair(2, 1));
    EXPECT_EQ(call(*itemProxy, kItem, "Activate", std::int32_t{5}, std::int32_t{7}), "ok");
    ASSERT_TRUE(runUntil([&] { return activations == 1; }));

    // The menu, read whole and in part, built once.
    EXPECT_EQ(layout(), wholeMenu(1, ""));
    EXPECT_EQ(layout(1, 0, {"label"}), (Lines{"revision 1", "1 label=Open Tavel\u2026"}));
    EXPECT_EQ(builds, 1);

    // Clicks run the actions on the loop; an unknown id is refused.
    EXPECT_EQ(event(1, "hovered"), "ok");
    choose("Open Tavel\u2026");
    ASSERT_TRUE(runUntil([&] { return opened == 1; }));
    using Event = sdbus::Struct<std::int32_t, std::string, sdbus::Variant, std::uint32_t>;
    const std::int32_t quit = std::stoi(wholeMenu(1, "").back());
    ASSERT_EQ(call(*menuProxy, kMenu, "EventGroup",
                   std::vector<Event>{{quit, "clicked", sdbus::Variant(0), 0u},
                                      {999, "clicked", sdbus::Variant(0), 0u}}),
              "ok");
    std::vector<std::int32_t> idErrors;
    *reply >> idErrors;
    EXPECT_EQ(idErrors, std::vector<std::int32_t>{999});
    ASSERT_TRUE(runUntil([&] { return quits == 1; }));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(event(999, "clicked"), kInvalidArgs);

    // Opening rebuilds; only a changed menu is announced, a submenu opening rebuilds it all.
    EXPECT_FALSE(aboutToShow(0));
    EXPECT_EQ(builds, 2);
    choose("Pause");
    ASSERT_TRUE(runUntil([&] { return state->settings().paused; }));
    EXPECT_TRUE(aboutToShow(3));
    EXPECT_EQ(layout(), wholeMenu(2, "", "Resume"));
    aboutToShow(999, kInvalidArgs);
    ASSERT_TRUE(runUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced, Lines{"2@0"});
    choose("Resume");
    ASSERT_TRUE(runUntil([&] { return !state->settings().paused; }));

    // An effect picked goes to every display in three writes; the target and browsing stay.
    const std::string target = state->displays().at(0).key;
    state->setSelectedDisplayTarget(target);
    state->setBrowseIndex(3);
    std::vector<AppSettings> written;  // each write, as it lands
    state->addObserver([&](AppState::Property p) {
        if (p == AppState::Property::settings) written.push_back(state->settings());
    });
    journal.clear();
    choose("Vortex");
    ASSERT_TRUE(runUntil([&] { return written.size() == 3; }));
    written.push_back(state->settings());
    EXPECT_TRUE(written[1].sameOnAllDisplays);
    EXPECT_FALSE(written[1].perDisplay.empty());
    EXPECT_TRUE(written[2].perDisplay.empty());
    EXPECT_EQ(written[2].globalShaderID, "halvane");
    EXPECT_EQ(written[3].globalShaderID, "vortex");
    EXPECT_EQ(state->selectedDisplayTarget(), target);
    EXPECT_EQ(state->browseIndex(), 3);
    EXPECT_EQ(calls("still"), 0);  // no lock screen refresh of its own
    EXPECT_EQ(shown(), "vortex vortex");
    // The state changed: hosts that never announce an opening hear of it too, once.
    item.menuMayHaveChanged();
    item.menuMayHaveChanged();
    ASSERT_TRUE(runUntil([&] { return announced.size() == 2; }));
    EXPECT_EQ(layout(), wholeMenu(3, "vortex"));
    state->updateSettings([](AppSettings& s) { s.globalShaderID = "retired"; });
    item.menuMayHaveChanged();
    ASSERT_TRUE(runUntil([&] { return announced.size() == 3; }));
    EXPECT_EQ(layout(), wholeMenu(4, ""));

    // A provider that fails answers with an error and a log line; the item goes on.
    failBuild = true;
    aboutToShow(0, "org.freedesktop.DBus.Error.Failed");
    ASSERT_EQ(itemLog.lines().size(), 2u);
    EXPECT_NE(itemLog.lines()[1].find("no state"), std::string::npos) << itemLog.lines()[1];
    failBuild = false;
    EXPECT_FALSE(aboutToShow(0));
    choose("Shuffle Now");
    ASSERT_TRUE(runUntil([&] { return state->settings().globalShaderID != "retired"; }));
}

}  // namespace
}  // namespace tavel::test
