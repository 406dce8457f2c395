#include "platform/dbus/status_notifier_item.h"

#include "com.canonical.dbusmenu_adaptor.h"
#include "org.kde.StatusNotifierItem_adaptor.h"
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
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kFailed = "org.freedesktop.DBus.Error.Failed";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
// The menu protocol version whose methods and properties the menu object offers.
constexpr std::uint32_t kMenuVersion = 3;
constexpr auto kRegisterTimeout = std::chrono::seconds(5);

using Pixmap = sdbus::Struct<std::int32_t, std::int32_t, std::vector<std::uint8_t>>;
using ToolTipValue = sdbus::Struct<std::string, std::vector<Pixmap>, std::string, std::string>;
using MenuEvent = sdbus::Struct<std::int32_t, std::string, sdbus::Variant, std::uint32_t>;
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

// The menu object. Main thread only.
class MenuObject final : public sdbus::AdaptorInterfaces<com::canonical::dbusmenu_adaptor> {
public:
    MenuObject(sdbus::IConnection& bus, Scheduler& mainQueue,
               StatusNotifierItem::MenuProvider provider, LogSink& log)
        : AdaptorInterfaces(bus, kStatusNotifierMenuPath),
          mainQueue_(mainQueue),
          provider_(std::move(provider)),
          log_(log) {
        registerAdaptor();
    }
    ~MenuObject() { unregisterAdaptor(); }

    // Builds the menu anew; true when it looks different from the one before.
    bool rebuild(bool announce) {
        DbusMenuLayout next = buildMenu();
        const bool changed = !built_ || !next.sameLook(layout_);
        layout_ = std::move(next);
        built_ = true;
        if (!changed) return false;
        ++revision_;
        if (announce) emitLayoutUpdated(revision_, 0);
        return true;
    }
    bool built() const { return built_; }
    std::uint32_t revision() const { return revision_; }

private:
    // Runs the menu provider inside a bus call: a failure answers this call with an error
    // and leaves a log line, and the loop goes on.
    DbusMenuLayout buildMenu() {
        std::string reason;
        try {
            return DbusMenuLayout(provider_());
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
            reason = "unknown exception";
        }
        log_.write("Tavel: the tray menu could not be built: " + reason);
        throw sdbus::Error(kFailed, "The tray menu could not be built: " + reason);
    }

    void buildOnce() {
        // The caller receives this first layout itself: no signal for it.
        if (!built_) rebuild(false);
    }

    // Runs the action of `id` for a "clicked" event; other events change nothing. False
    // for an unknown id.
    bool event(std::int32_t id, const std::string& kind) {
        if (!layout_.contains(id)) return false;
        if (kind == "clicked")
            if (auto action = layout_.action(id)) mainQueue_.post(std::move(action));
        return true;
    }

    std::tuple<std::uint32_t, DbusMenuLayout::Node> GetLayout(
        const std::int32_t& parent, const std::int32_t& depth,
        const std::vector<std::string>& names) override {
        buildOnce();
        return {revision_, layout_.node(parent, depth, names)};
    }
    std::vector<ItemProperties> GetGroupProperties(const std::vector<std::int32_t>& ids,
                                                   const std::vector<std::string>& names) override {
        buildOnce();
        std::vector<ItemProperties> found;
        for (std::int32_t id : ids.empty() ? layout_.ids() : ids)
            if (layout_.contains(id)) found.emplace_back(id, layout_.properties(id, names));
        return found;
    }
    sdbus::Variant GetProperty(const std::int32_t& id, const std::string& name) override {
        buildOnce();
        auto properties = layout_.properties(id, {name});
        if (properties.empty())
            throw sdbus::Error(kInvalidArgs,
                               "Menu item " + std::to_string(id) + " has no property " + name);
        return properties.begin()->second;
    }
    void Event(const std::int32_t& id, const std::string& kind, const sdbus::Variant&,
               const std::uint32_t&) override {
        if (!event(id, kind)) throw sdbus::Error(kInvalidArgs, unknownItem(id));
    }
    std::vector<std::int32_t> EventGroup(const std::vector<MenuEvent>& events) override {
        std::vector<std::int32_t> errors;
        for (const MenuEvent& e : events)
            if (!event(e.get<0>(), e.get<1>())) errors.push_back(e.get<0>());
        return errors;
    }
    bool AboutToShow(const std::int32_t& id) override {
        const bool changed = rebuild(true);
        if (!layout_.contains(id)) throw sdbus::Error(kInvalidArgs, unknownItem(id));
        return changed;
    }
    std::tuple<std::vector<std::int32_t>, std::vector<std::int32_t>> AboutToShowGroup(
        const std::vector<std::int32_t>& ids) override {
        const bool changed = rebuild(true);
        std::vector<std::int32_t> updates, errors;
        for (std::int32_t id : ids) (layout_.contains(id) ? updates : errors).push_back(id);
        if (!changed) updates.clear();
        return {updates, errors};
    }
    std::uint32_t Version() override { return kMenuVersion; }
    std::string TextDirection() override { return "ltr"; }
    std::string Status() override { return "normal"; }
    std::vector<std::string> IconThemePath() override { return {}; }

    Scheduler& mainQueue_;
    StatusNotifierItem::MenuProvider provider_;
    LogSink& log_;
    DbusMenuLayout layout_;
    bool built_ = false;
    std::uint32_t revision_ = 0;
};

// The item object. Main thread only.
class ItemObject final : public sdbus::AdaptorInterfaces<org::kde::StatusNotifierItem_adaptor> {
public:
    ItemObject(sdbus::IConnection& bus, Scheduler& mainQueue,
               const StatusNotifierItem::Appearance& appearance)
        : AdaptorInterfaces(bus, kStatusNotifierItemPath),
          mainQueue_(mainQueue),
          appearance_(appearance) {
        for (const StatusIconPixmap& p : appearance.pixmaps)
            pixmaps_.emplace_back(std::int32_t{p.width}, std::int32_t{p.height}, p.argb);
        registerAdaptor();
    }
    ~ItemObject() { unregisterAdaptor(); }

    std::function<void()> activateHandler;

private:
    void Activate(const std::int32_t&, const std::int32_t&) override {
        if (activateHandler) mainQueue_.post(activateHandler);
    }
    std::string Category() override { return "ApplicationStatus"; }
    std::string Id() override { return appearance_.id; }
    std::string Title() override { return appearance_.title; }
    std::string Status() override { return "Active"; }
    std::string IconName() override { return appearance_.iconName; }
    std::vector<Pixmap> IconPixmap() override { return pixmaps_; }
    ToolTipValue ToolTip() override {
        return {appearance_.iconName, std::vector<Pixmap>{}, appearance_.toolTip, std::string()};
    }
    bool ItemIsMenu() override { return false; }
    sdbus::ObjectPath Menu() override { return sdbus::ObjectPath(kStatusNotifierMenuPath); }

    Scheduler& mainQueue_;
    StatusNotifierItem::Appearance appearance_;
    std::vector<Pixmap> pixmaps_;
};

}  // namespace

// Main thread only.
struct StatusNotifierItem::State {
    State(BusConnection& bus, LogSink& log) : bus(bus), log(log) {}

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
        item.reset();
        menu.reset();
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
    LogSink& log;
    std::string service;
    std::uint64_t registrations = 0;
    bool toldAbsent = false;
    bool ownsName = false;

    // Last, so they go first: no callback runs once destruction has begun.
    std::unique_ptr<MenuObject> menu;
    std::unique_ptr<ItemObject> item;
    std::unique_ptr<sdbus::IProxy> watcher;
    std::optional<sdbus::Slot> watcherMatch;
};

StatusNotifierItem::StatusNotifierItem(BusConnection& sessionBus, Scheduler& mainQueue,
                                       Appearance appearance, MenuProvider menu, LogSink& log)
    : state_(std::make_unique<State>(sessionBus, log)) {
    State& state = *state_;
    try {
        // Objects first, so that the name never points at a missing item.
        state.menu =
            std::make_unique<MenuObject>(sessionBus.connection(), mainQueue, std::move(menu), log);
        state.item = std::make_unique<ItemObject>(sessionBus.connection(), mainQueue, appearance);
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
    if (!state_->menu || !state_->menu->built()) return;
    try {
        state_->menu->rebuild(true);
    } catch (const sdbus::Error&) {
        // The provider's failure is logged already; the last menu stays.
    }
}

void StatusNotifierItem::setActivateHandler(std::function<void()> handler) {
    if (state_->item) state_->item->activateHandler = std::move(handler);
}

std::string StatusNotifierItem::serviceName() const {
    return state_->service;
}

std::uint32_t StatusNotifierItem::layoutRevision() const {
    return state_->menu ? state_->menu->revision() : 0;
}

}  // namespace tavel
