#include "platform/dbus/status_notifier_item.h"

#include "platform/dbus/bus_connection.h"
#include "platform/dbus/dbus_menu_layout.h"
#include "platform/scheduler.h"

#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <map>
#include <optional>
#include <tuple>
#include <utility>

namespace tavel {

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kFailed = "org.freedesktop.DBus.Error.Failed";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
// The menu protocol version whose methods and properties the menu object offers.
constexpr std::uint32_t kMenuVersion = 3;
constexpr auto kRegisterTimeout = std::chrono::seconds(5);

using Pixmap = sdbus::Struct<std::int32_t, std::int32_t, std::vector<std::uint8_t>>;
using ToolTip = sdbus::Struct<std::string, std::vector<Pixmap>, std::string, std::string>;
using Event = sdbus::Struct<std::int32_t, std::string, sdbus::Variant, std::uint32_t>;
using ItemProperties = sdbus::Struct<std::int32_t, DbusMenuLayout::Properties>;

std::string ownerChangedRule() {
    return std::string(
               "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
               "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           kStatusNotifierWatcherName + "'";
}

std::string unknownItem(std::int32_t id) {
    return "No menu item " + std::to_string(id);
}

bool meansAbsent(const sdbus::Error& error) {
    return error.getName() == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           error.getName() == "org.freedesktop.DBus.Error.NameHasNoOwner";
}

}  // namespace

// Main thread only.
struct StatusNotifierItem::State {
    State(BusConnection& bus, Scheduler& mainQueue, Appearance appearance, MenuProvider provider,
          LogSink& log)
        : bus(bus),
          mainQueue(mainQueue),
          appearance(std::move(appearance)),
          provider(std::move(provider)),
          log(log) {}

    // Runs the menu provider inside a bus call: a failure answers this call with an error
    // and leaves a log line, and the loop goes on.
    DbusMenuLayout buildMenu() {
        std::string reason;
        try {
            return DbusMenuLayout(provider());
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
            reason = "unknown exception";
        }
        log.write("Tavel: the tray menu could not be built: " + reason);
        throw sdbus::Error(kFailed, "The tray menu could not be built: " + reason);
    }

    // Builds the menu anew; true when it looks different from the one before.
    bool rebuild(bool announce) {
        DbusMenuLayout next = buildMenu();
        const bool changed = !built || !next.sameLook(layout);
        layout = std::move(next);
        built = true;
        if (!changed) return false;
        ++revision;
        if (announce)
            menuObject->emitSignal("LayoutUpdated")
                .onInterface(kMenuInterface)
                .withArguments(revision, std::int32_t{0});
        return true;
    }

    std::tuple<std::uint32_t, DbusMenuLayout::Node> getLayout(
        std::int32_t parent, std::int32_t depth, const std::vector<std::string>& names) {
        // The caller receives this first layout itself: no signal for it.
        if (!built) rebuild(false);
        return {revision, layout.node(parent, depth, names)};
    }

    bool aboutToShow(std::int32_t id) {
        const bool changed = rebuild(true);
        if (!layout.contains(id)) throw sdbus::Error(kInvalidArgs, unknownItem(id));
        return changed;
    }

    std::tuple<std::vector<std::int32_t>, std::vector<std::int32_t>> aboutToShowGroup(
        const std::vector<std::int32_t>& ids) {
        const bool changed = rebuild(true);
        std::vector<std::int32_t> updates, errors;
        for (std::int32_t id : ids) (layout.contains(id) ? updates : errors).push_back(id);
        if (!changed) updates.clear();
        return {updates, errors};
    }

    // Runs the action of `id` for a "clicked" event; other events change nothing. False
    // for an unknown id.
    bool event(std::int32_t id, const std::string& kind) {
        if (!layout.contains(id)) return false;
        if (kind == "clicked")
            if (auto action = layout.action(id)) mainQueue.post(std::move(action));
        return true;
    }

    std::vector<ItemProperties> groupProperties(const std::vector<std::int32_t>& ids,
                                                const std::vector<std::string>& names) {
        if (!built) rebuild(false);
        std::vector<ItemProperties> found;
        for (std::int32_t id : ids.empty() ? layout.ids() : ids)
            if (layout.contains(id)) found.emplace_back(id, layout.properties(id, names));
        return found;
    }

    sdbus::Variant property(std::int32_t id, const std::string& name) {
        if (!built) rebuild(false);
        auto properties = layout.properties(id, {name});
        if (properties.empty())
            throw sdbus::Error(kInvalidArgs,
                               "Menu item " + std::to_string(id) + " has no property " + name);
        return properties.begin()->second;
    }

    void exportMenu() {
        menuObject = sdbus::createObject(bus.connection(), kStatusNotifierMenuPath);
        auto& o = *menuObject;
        o.registerMethod("GetLayout")
            .onInterface(kMenuInterface)
            .withInputParamNames("parentId", "recursionDepth", "propertyNames")
            .withOutputParamNames("revision", "layout")
            .implementedAs([this](std::int32_t parent, std::int32_t depth,
                                  const std::vector<std::string>& names) {
                return getLayout(parent, depth, names);
            });
        o.registerMethod("GetGroupProperties")
            .onInterface(kMenuInterface)
            .withInputParamNames("ids", "propertyNames")
            .withOutputParamNames("properties")
            .implementedAs([this](const std::vector<std::int32_t>& ids,
                                  const std::vector<std::string>& names) {
                return groupProperties(ids, names);
            });
        o.registerMethod("GetProperty")
            .onInterface(kMenuInterface)
            .withInputParamNames("id", "name")
            .withOutputParamNames("value")
            .implementedAs(
                [this](std::int32_t id, const std::string& name) { return property(id, name); });
        o.registerMethod("Event")
            .onInterface(kMenuInterface)
            .withInputParamNames("id", "eventId", "data", "timestamp")
            .implementedAs([this](std::int32_t id, const std::string& kind, const sdbus::Variant&,
                                  std::uint32_t) {
                if (!event(id, kind)) throw sdbus::Error(kInvalidArgs, unknownItem(id));
            });
        o.registerMethod("EventGroup")
            .onInterface(kMenuInterface)
            .withInputParamNames("events")
            .withOutputParamNames("idErrors")
            .implementedAs([this](const std::vector<Event>& events) {
                std::vector<std::int32_t> errors;
                for (const Event& e : events)
                    if (!event(e.get<0>(), e.get<1>())) errors.push_back(e.get<0>());
                return errors;
            });
        o.registerMethod("AboutToShow")
            .onInterface(kMenuInterface)
            .withInputParamNames("id")
            .withOutputParamNames("needUpdate")
            .implementedAs([this](std::int32_t id) { return aboutToShow(id); });
        o.registerMethod("AboutToShowGroup")
            .onInterface(kMenuInterface)
            .withInputParamNames("ids")
            .withOutputParamNames("updatesNeeded", "idErrors")
            .implementedAs(
                [this](const std::vector<std::int32_t>& ids) { return aboutToShowGroup(ids); });
        o.registerSignal("LayoutUpdated")
            .onInterface(kMenuInterface)
            .withParameters<std::uint32_t, std::int32_t>("revision", "parent");
        o.registerProperty("Version").onInterface(kMenuInterface).withGetter([] {
            return kMenuVersion;
        });
        o.registerProperty("TextDirection").onInterface(kMenuInterface).withGetter([] {
            return std::string("ltr");
        });
        o.registerProperty("Status").onInterface(kMenuInterface).withGetter([] {
            return std::string("normal");
        });
        o.registerProperty("IconThemePath").onInterface(kMenuInterface).withGetter([] {
            return std::vector<std::string>{};
        });
        o.finishRegistration();
    }

    void exportItem() {
        itemObject = sdbus::createObject(bus.connection(), kStatusNotifierItemPath);
        auto& o = *itemObject;
        auto text = [&](const char* name, std::string value) {
            o.registerProperty(name).onInterface(kItemInterface).withGetter([value] {
                return value;
            });
        };
        text("Category", "ApplicationStatus");
        text("Id", appearance.id);
        text("Title", appearance.title);
        text("Status", "Active");
        text("IconName", appearance.iconName);
        std::vector<Pixmap> pixmaps;
        for (const StatusIconPixmap& p : appearance.pixmaps)
            pixmaps.emplace_back(std::int32_t{p.width}, std::int32_t{p.height}, p.argb);
        o.registerProperty("IconPixmap").onInterface(kItemInterface).withGetter([pixmaps] {
            return pixmaps;
        });
        o.registerProperty("ToolTip").onInterface(kItemInterface).withGetter([this] {
            return ToolTip{appearance.iconName, std::vector<Pixmap>{}, appearance.toolTip,
                           std::string()};
        });
        o.registerProperty("ItemIsMenu").onInterface(kItemInterface).withGetter([] {
            return false;
        });
        o.registerProperty("Menu").onInterface(kItemInterface).withGetter([] {
            return sdbus::ObjectPath(kStatusNotifierMenuPath);
        });
        o.registerMethod("Activate")
            .onInterface(kItemInterface)
            .withInputParamNames("x", "y")
            .implementedAs([this](std::int32_t, std::int32_t) {
                if (activateHandler) mainQueue.post(activateHandler);
            });
        o.finishRegistration();
    }

    // The well-known name hosts expect from an item; the unique name when it is refused.
    void claimName() {
        const std::string wanted =
            std::string(kItemInterface) + "-" + std::to_string(::getpid()) + "-1";
        try {
            bus.connection().requestName(wanted);
            service = wanted;
            ownsName = true;
        } catch (const sdbus::Error&) {
            service = bus.connection().getUniqueName();
        }
        bus.wake();  // the blocking call may have queued messages
    }

    void registerWithWatcher() {
        const std::uint64_t attempt = ++registrations;
        watcher->callMethodAsync("RegisterStatusNotifierItem")
            .onInterface(kStatusNotifierWatcherName)
            .withTimeout(kRegisterTimeout)
            .withArguments(service)
            .uponReplyInvoke([this, attempt](const sdbus::Error* error) {
                bus.guarded([&] { registered(attempt, error); });
            });
        bus.wake();
    }

    void registered(std::uint64_t attempt, const sdbus::Error* error) {
        if (!error || attempt != registrations) return;  // a newer attempt speaks for both
        if (meansAbsent(*error)) {
            if (!toldAbsent)
                log.write(
                    "Tavel: no status notifier watcher on the session bus; the tray item "
                    "appears when one starts");
            toldAbsent = true;
            return;
        }
        log.write("Tavel: the status notifier watcher did not take the tray item: " +
                  error->getMessage());
    }

    void onWatcherChanged(sdbus::Message& message) {
        std::string name, oldOwner, newOwner;
        try {
            message >> name >> oldOwner >> newOwner;
        } catch (const sdbus::Error&) {
            return;
        }
        if (!newOwner.empty()) registerWithWatcher();
    }

    // Withdraws the objects, stops listening and gives the name up.
    void withdraw() {
        watcherMatch.reset();
        watcher.reset();
        itemObject.reset();
        menuObject.reset();
        if (ownsName && bus.connected()) {
            try {
                bus.connection().releaseName(service);
            } catch (const sdbus::Error&) {
                // The bus daemon drops the name with the connection anyway.
            }
            bus.wake();
        }
        ownsName = false;
    }

    BusConnection& bus;
    Scheduler& mainQueue;
    Appearance appearance;
    MenuProvider provider;
    LogSink& log;
    std::function<void()> activateHandler;
    std::string service;
    DbusMenuLayout layout;
    bool built = false;
    std::uint32_t revision = 0;
    std::uint64_t registrations = 0;
    bool toldAbsent = false;
    bool ownsName = false;

    // Last, so they go first: no callback runs once destruction has begun.
    std::unique_ptr<sdbus::IObject> menuObject;
    std::unique_ptr<sdbus::IObject> itemObject;
    std::unique_ptr<sdbus::IProxy> watcher;
    std::optional<sdbus::Slot> watcherMatch;
};

StatusNotifierItem::StatusNotifierItem(BusConnection& sessionBus, Scheduler& mainQueue,
                                       Appearance appearance, MenuProvider menu, LogSink& log)
    : state_(std::make_unique<State>(sessionBus, mainQueue, std::move(appearance), std::move(menu),
                                     log)) {
    State& state = *state_;
    try {
        // Objects first, so that the name never points at a missing item.
        state.exportMenu();
        state.exportItem();
        state.claimName();
        state.watcher =
            sdbus::createProxy(sessionBus.connection(), kStatusNotifierWatcherName, kWatcherPath);
        // Subscribed before the first registration, so a watcher starting in between is
        // not missed (it may then be asked twice, which watchers accept).
        state.watcherMatch =
            sessionBus.connection().addMatch(ownerChangedRule(), [&state](sdbus::Message& message) {
                state.bus.guarded([&] { state.onWatcherChanged(message); });
            });
        state.registerWithWatcher();
    } catch (const sdbus::Error& e) {
        log.write(std::string("Tavel: cannot show the tray item on the session bus: ") + e.what());
        state.withdraw();
        state.service.clear();
    }
}

StatusNotifierItem::~StatusNotifierItem() {
    state_->withdraw();
}

void StatusNotifierItem::menuMayHaveChanged() {
    if (!state_->built) return;
    try {
        state_->rebuild(true);
    } catch (const sdbus::Error&) {
        // The provider's failure is logged already; the last menu stays.
    }
}

void StatusNotifierItem::setActivateHandler(std::function<void()> handler) {
    state_->activateHandler = std::move(handler);
}

std::string StatusNotifierItem::serviceName() const {
    return state_->service;
}

std::uint32_t StatusNotifierItem::layoutRevision() const {
    return state_->revision;
}

}  // namespace tavel
