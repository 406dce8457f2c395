#pragma once
// The status bar item on the session bus: an org.kde.StatusNotifierItem object at
// /StatusNotifierItem whose Menu property names a com.canonical.dbusmenu object at
// /MenuBar. The panel (the "host") draws the icon and the menu; a watcher service,
// org.kde.StatusNotifierWatcher, tells hosts which items exist.
//
// The item knows nothing of the application: it publishes an appearance and a menu that
// a provider builds afresh each time a host is about to open it (AboutToShow on the root
// or a submenu, or the first GetLayout). When the new menu differs from the last one the
// layout revision goes up and LayoutUpdated tells the hosts. Item ids are given in menu
// order (the root is 0) and stay the same while the menu keeps its shape.
//
// Registration: the item owns org.kde.StatusNotifierItem-<pid>-1 (its unique name when the
// bus refuses) and registers that name with the watcher. It registers again whenever a
// watcher takes the name later (a panel that restarts). No watcher at start: one log line,
// and everything else goes on.
//
// Typical use, on the main thread once the loop exists:
//   StatusNotifierItem tray(*sessionBus, loop, {.pixmaps = trayIcons(findLogo(log))},
//                           [&] { return buildStatusMenu(state, actions); }, log);
//   tray.setActivateHandler([&] { showGallery(); });
//
// Thread rules: main thread only. Bus calls are handled on the main thread, inside the
// bus connection's processing on the loop. Menu actions and the activate handler are
// posted to `mainQueue` and run after the bus call is answered, so they may destroy this
// item. Failures inside a bus call (a provider that throws) fail that call only, with
// org.freedesktop.DBus.Error.Failed and one log line.

#include "effects/log_sink.h"
#include "platform/app_identity.h"
#include "platform/status_item.h"
#include "platform/system_log.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavel {

class BusConnection;
class Scheduler;

inline constexpr const char* kStatusNotifierItemPath = "/StatusNotifierItem";
inline constexpr const char* kStatusNotifierMenuPath = "/MenuBar";
inline constexpr const char* kStatusNotifierWatcherName = "org.kde.StatusNotifierWatcher";

class StatusNotifierItem {
public:
    struct Appearance {
        std::string id = "Tavel";
        std::string title = "Tavel";
        // The symbolic icon, found in the icon theme when installed: panels that recolour
        // symbolic icons draw it in their own foreground colour.
        std::string iconName = std::string(kAppBundleIdentifier) + "-symbolic";
        std::vector<StatusIconPixmap> pixmaps;  // used when the theme lacks iconName
        std::string toolTip = "Tavel";
    };
    // The top-level entries of the menu, built anew on each call.
    using MenuProvider = std::function<std::vector<StatusMenuItem>()>;

    // Exports both objects and starts the registration (answered later on the loop).
    // `sessionBus`, `mainQueue` and `log` must outlive the item. Never throws: a bus that
    // refuses the objects leaves one log line and an item that shows nowhere.
    StatusNotifierItem(BusConnection& sessionBus, Scheduler& mainQueue, Appearance appearance,
                       MenuProvider menu, LogSink& log = systemLog());
    // Withdraws both objects and gives the name up.
    ~StatusNotifierItem();
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // What the menu shows may have changed (the settings were written): rebuilds it and
    // tells the hosts when it looks different, for hosts that never announce an opening.
    // Nothing before a host first read the menu.
    void menuMayHaveChanged();
    // Primary click on the icon. Without a handler the click does nothing.
    void setActivateHandler(std::function<void()> handler);

    // The bus name registered with the watcher; empty when the objects could not be exported.
    std::string serviceName() const;
    // 0 until the menu is first built.
    std::uint32_t layoutRevision() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace tavel
