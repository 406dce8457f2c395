// The status bar item on a private bus: the test plays the watcher (it records the
// registrations) and the panel (it reads the item and drives the menu), each on its own
// connection, all on the one loop.

#include "bus_test.h"
#include "platform/dbus/status_notifier_item.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavel::test {
namespace {

using Properties = std::map<std::string, sdbus::Variant>;
using Node = sdbus::Struct<std::int32_t, Properties, std::vector<sdbus::Variant>>;
using Pixmap = sdbus::Struct<std::int32_t, std::int32_t, std::vector<std::uint8_t>>;
constexpr const char* kMenu = "com.canonical.dbusmenu";
constexpr const char* kItem = "org.kde.StatusNotifierItem";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

// A watcher service on a connection of its own, noting each registration with its sender.
class FakeWatcher {
public:
    explicit FakeWatcher(std::unique_ptr<BusConnection> bus) : bus_(std::move(bus)) {
        object_ = sdbus::createObject(bus_->connection(), "/StatusNotifierWatcher");
        object_->registerMethod("RegisterStatusNotifierItem")
            .onInterface(kStatusNotifierWatcherName)
            .implementedAs([this](const std::string& service) {
                registrations.push_back(
                    {service, object_->getCurrentlyProcessedMessage()->getSender()});
            });
        object_->finishRegistration();
        bus_->connection().requestName(kStatusNotifierWatcherName);
        bus_->wake();
    }

    struct Registration {
        std::string service, sender;
    };
    std::vector<Registration> registrations;

private:
    std::unique_ptr<BusConnection> bus_;
    std::unique_ptr<sdbus::IObject> object_;
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
void describe(const Node& node, std::vector<std::string>& lines, const std::string& indent = "") {
    std::string line = indent + std::to_string(node.get<0>());
    for (const auto& [key, value] : node.get<1>()) line += " " + key + "=" + text(value);
    lines.push_back(line);
    for (const sdbus::Variant& child : node.get<2>())
        describe(child.get<Node>(), lines, indent + "  ");
}

class StatusNotifierItemTest : public BusTest {
protected:
    // The item on a connection of its own, with a menu from `menu`.
    void startItem() {
        itemBus_ = open(BusType::session);
        item_ = std::make_unique<StatusNotifierItem>(
            *itemBus_, scheduler_, StatusNotifierItem::Appearance{.pixmaps = {{2, 1, {}}}},
            [this] {
                ++builds;
                if (failBuild) throw std::runtime_error("no state");
                return menu;
            },
            log);
        item_->setActivateHandler([this] { ++activations; });
    }
    std::unique_ptr<FakeWatcher> startWatcher() {
        return std::make_unique<FakeWatcher>(open(BusType::session));
    }
    // The panel's side, once the item is there.
    void startHost() {
        host_ = open(BusType::session);
        menuProxy_ = sdbus::createProxy(host_->connection(), item_->serviceName(), "/MenuBar");
        itemProxy_ =
            sdbus::createProxy(host_->connection(), item_->serviceName(), "/StatusNotifierItem");
        layoutUpdates_ = host_->connection().addMatch(
            "type='signal',interface='com.canonical.dbusmenu',member='LayoutUpdated'",
            [this](sdbus::Message& signal) {
                std::uint32_t revision = 0;
                std::int32_t parent = -1;
                signal >> revision >> parent;
                announced.push_back(std::to_string(revision) + "@" + std::to_string(parent));
            });
    }

    // A call from the panel, answered while the loop runs; a D-Bus error is thrown.
    template <class... Args>
    sdbus::MethodReply call(sdbus::IProxy& proxy, const char* interface, const char* method,
                            const Args&... args) {
        auto message = proxy.createMethodCall(interface, method);
        (message << ... << args);
        std::optional<sdbus::MethodReply> reply;
        std::optional<sdbus::Error> error;
        proxy.callMethod(message, [&](sdbus::MethodReply& r, const sdbus::Error* e) {
            if (e)
                error = *e;
            else
                reply = r;
        });
        host_->wake();
        if (!runUntil([&] { return reply || error; })) throw std::runtime_error("no answer");
        if (error) throw *error;
        return *reply;
    }
    std::vector<std::string> layout(std::int32_t parent = 0, std::int32_t depth = -1,
                                    std::vector<std::string> names = {}) {
        std::uint32_t revision = 0;
        Node node;
        call(*menuProxy_, kMenu, "GetLayout", parent, depth, names) >> revision >> node;
        std::vector<std::string> lines{"revision " + std::to_string(revision)};
        describe(node, lines);
        return lines;
    }
    bool aboutToShow(std::int32_t id) {
        bool needUpdate = false;
        call(*menuProxy_, kMenu, "AboutToShow", id) >> needUpdate;
        return needUpdate;
    }
    void event(std::int32_t id, const std::string& kind) {
        call(*menuProxy_, kMenu, "Event", id, kind, sdbus::Variant(std::int32_t{0}),
             std::uint32_t{0});
    }
    std::string errorOf(const std::function<void()>& request) {
        try {
            request();
        } catch (const sdbus::Error& e) {
            return e.getName();
        }
        return "none";
    }

    std::vector<StatusMenuItem> menu;
    bool failBuild = false;
    int builds = 0, activations = 0;
    std::vector<std::string> announced;  // LayoutUpdated as "revision@parent"
    MemoryLogSink log;

    std::unique_ptr<BusConnection> itemBus_, host_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<sdbus::IProxy> menuProxy_, itemProxy_;
    std::optional<sdbus::Slot> layoutUpdates_;
};

StatusMenuItem entry(std::string label, std::vector<StatusMenuItem> children = {}) {
    StatusMenuItem item;
    item.label = std::move(label);
    item.children = std::move(children);
    return item;
}

TEST_F(StatusNotifierItemTest, RegistersItsOwnNameAndPublishesItsLook) {
    auto watcher = startWatcher();
    startItem();
    ASSERT_TRUE(runUntil([&] { return watcher->registrations.size() == 1; }));
    const auto& registration = watcher->registrations[0];
    EXPECT_EQ(registration.service, item_->serviceName());
    EXPECT_EQ(registration.sender, itemBus_->connection().getUniqueName());
    startHost();  // reaches the item under the registered name

    Properties properties;
    auto all = call(*itemProxy_, "org.freedesktop.DBus.Properties", "GetAll", std::string(kItem));
    all >> properties;
    const std::map<std::string, std::string> expected = {
        {"Category", "ApplicationStatus"},
        {"Id", "Tavel"},
        {"Title", "Tavel"},
        {"Status", "Active"},
        {"IconName", "io.tavel.Tavel-symbolic"},
        {"ItemIsMenu", "false"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(text(properties[name]), value) << name;
    EXPECT_EQ(properties["Menu"].get<sdbus::ObjectPath>(), "/MenuBar");
    const auto pixmaps = properties["IconPixmap"].get<std::vector<Pixmap>>();
    ASSERT_EQ(pixmaps.size(), 1u);
    EXPECT_EQ(pixmaps[0].get<0>(), 2);
    EXPECT_EQ(pixmaps[0].get<1>(), 1);

    call(*itemProxy_, kItem, "Activate", std::int32_t{5}, std::int32_t{7});
    ASSERT_TRUE(runUntil([&] { return activations == 1; }));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(StatusNotifierItemTest, HostReadsTheLayoutAndItsClicksRunTheActionsOnTheLoop) {
    int opened = 0, picked = 0;
    menu = {entry("Open_It\u2026"), entry(""), entry("Group", {entry("A"), entry("B")}),
            entry("Off")};
    menu[0].shortcutKey = "o";
    menu[0].action = [&] { ++opened; };
    menu[1].separator = true;
    menu[2].children[0].checked = true;
    menu[2].children[0].action = [&] { ++picked; };
    menu[2].children[1].checked = false;
    menu[3].enabled = false;
    startItem();
    startHost();

    EXPECT_EQ(layout(), (std::vector<std::string>{
                            "revision 1",
                            "0 children-display=submenu",
                            "  1 enabled=true label=Open__It\u2026 shortcut=Control+o",
                            "  2 type=separator",
                            "  3 children-display=submenu enabled=true label=Group",
                            "    4 enabled=true label=A toggle-state=1 toggle-type=checkmark",
                            "    5 enabled=true label=B toggle-state=0 toggle-type=checkmark",
                            "  6 enabled=false label=Off",
                        }));
    EXPECT_EQ(layout(3, 0, {"label"}), (std::vector<std::string>{"revision 1", "3 label=Group"}));
    EXPECT_EQ(builds, 1);  // read twice, built once

    event(1, "hovered");
    event(1, "clicked");
    ASSERT_TRUE(runUntil([&] { return opened == 1; }));
    std::vector<std::int32_t> idErrors;
    using Event = sdbus::Struct<std::int32_t, std::string, sdbus::Variant, std::uint32_t>;
    auto group = call(*menuProxy_, kMenu, "EventGroup",
                      std::vector<Event>{{4, "clicked", sdbus::Variant(0), 0u},
                                         {99, "clicked", sdbus::Variant(0), 0u}});
    group >> idErrors;
    EXPECT_EQ(idErrors, std::vector<std::int32_t>{99});
    ASSERT_TRUE(runUntil([&] { return picked == 1; }));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(errorOf([&] { event(99, "clicked"); }), kInvalidArgs);
}

TEST_F(StatusNotifierItemTest, AboutToShowRebuildsAndAnnouncesOnlyAChangedMenu) {
    menu = {entry("Pause"), entry("Group", {entry("A")})};
    auto watcher = startWatcher();  // so that the log holds only what this test causes
    startItem();
    startHost();
    ASSERT_EQ(layout(0, 1, {"label"})[2], "  1 label=Pause");

    EXPECT_FALSE(aboutToShow(0));  // built anew, looks the same
    EXPECT_EQ(builds, 2);
    menu[0].label = "Resume";
    EXPECT_TRUE(aboutToShow(2));  // a submenu opening rebuilds the whole menu
    EXPECT_EQ(item_->layoutRevision(), 2u);
    EXPECT_EQ(layout(0, 1, {"label"})[2], "  1 label=Resume");
    EXPECT_EQ(layout(0, 1, {"label"})[0], "revision 2");
    EXPECT_EQ(errorOf([&] { aboutToShow(42); }), kInvalidArgs);
    ASSERT_TRUE(runUntil([&] { return !announced.empty(); }));
    EXPECT_EQ(announced, std::vector<std::string>{"2@0"});  // none for the unchanged menu
    // The application says its state changed: hosts that never announce an opening hear
    // of the new menu too, and of an unchanged one not at all.
    menu[0].label = "Pause";
    item_->menuMayHaveChanged();
    item_->menuMayHaveChanged();
    ASSERT_TRUE(runUntil([&] { return announced.size() == 2; }));
    EXPECT_EQ(announced.back(), "3@0");

    // A provider that fails answers with an error and a log line; the item goes on.
    failBuild = true;
    EXPECT_EQ(errorOf([&] { aboutToShow(0); }), "org.freedesktop.DBus.Error.Failed");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("no state"), std::string::npos) << log.lines()[0];
    failBuild = false;
    EXPECT_FALSE(aboutToShow(0));
}

TEST_F(StatusNotifierItemTest, WatcherStartingLaterOrAgainIsRegisteredWithAfterOneLogLine) {
    startItem();
    ASSERT_TRUE(runUntil([&] { return !log.lines().empty(); }));
    EXPECT_NE(log.lines()[0].find("no status notifier watcher"), std::string::npos)
        << log.lines()[0];

    for (int start = 0; start < 2; ++start) {  // a panel that starts, then restarts
        SCOPED_TRACE(start);
        auto watcher = startWatcher();
        ASSERT_TRUE(runUntil([&] { return watcher->registrations.size() == 1; }));
        EXPECT_EQ(watcher->registrations[0].service, item_->serviceName());
    }
    roundTrip(*itemBus_);
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace tavel::test
