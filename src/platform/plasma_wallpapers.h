#pragma once
// Tavel's wallpaper plugin on Plasma's desktops while Tavel runs. plasmashell draws its
// desktops (wallpaper, icons, widgets) above any background surface of Tavel's, so on
// Plasma each display is drawn by the plugin instead: this puts the plugin on the
// desktops that show Tavel's displays (recording once, in a file, what they showed
// before), writes each display's effect, parameters, pause state, frame rate and scale
// to its desktops whenever they change, does it all again for a new or restarted
// plasmashell, and gives the desktops back at the end.
//
// How a written configuration reaches the running plugin (measured on Plasma 5.27): a
// script's writeConfig on the desktop's ["Wallpaper", plugin, "General"] group reaches
// the plugin at once, inside the call, as wallpaper.configuration's valueChanged with
// the value as the script typed it (so numbers and booleans are written as such); no
// reloadConfig is needed, and it is stored in plasmashell's configuration file too. A
// configuration written before the plugin is selected on a desktop is what the plugin
// starts with.
//
// A plasmashell that is missing, refuses a script or answers something unreadable gets
// one log line, and the displays it concerns are drawn by Tavel's own windows.
//
// Main thread only.

#include "effects/log_sink.h"
#include "platform/plasma_desktops.h"
#include "platform/plasma_shell.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace tavel {

struct PlasmaWallpapersDependencies {
    PlasmaShell& shell;
    Scheduler& scheduler;
    LogSink& log;
    // The record of what the desktops showed before the plugin, in Tavel's data folder.
    std::filesystem::path record;
};

class PlasmaWallpapers {
public:
    // Who draws a display.
    enum class Drawer {
        own,      // Tavel's own window: no plasmashell, or no desktop for it
        plugin,   // the plugin, on the display's desktops
        waiting,  // plasmashell is being asked; nothing of Tavel's draws meanwhile
    };

    // Starts asking plasmashell when it runs (and whenever it starts again).
    explicit PlasmaWallpapers(PlasmaWallpapersDependencies dependencies);
    ~PlasmaWallpapers();
    PlasmaWallpapers(const PlasmaWallpapers&) = delete;
    PlasmaWallpapers& operator=(const PlasmaWallpapers&) = delete;

    // A display with a wallpaper window, in the order of the screens (the primary
    // first). `changed` runs when drawer() changes for it. Returns its handle.
    int attach(const ScreenRecord& screen, std::function<void()> changed);
    void detach(int handle);
    Drawer drawer(int handle) const;
    // What the display shows; reaches its desktops while the plugin draws it.
    void want(int handle, const PlasmaPluginConfig& config);

    // Gives every desktop that shows the plugin its recorded wallpaper back, waiting for
    // plasmashell (a few seconds at most), and removes the record. Without plasmashell
    // the record stays, for the next time. For the end of the process.
    void handBack();

private:
    struct Display {
        ScreenRecord screen;
        std::function<void()> changed;
        std::optional<PlasmaPluginConfig> wanted;
        std::vector<int> desktops;
        Drawer drawer = Drawer::own;
    };

    void ownerChanged();
    void requestSurvey();
    // Asks again in a moment (plasmashell is starting, or a screen's desktop is still to
    // come).
    void retryLater();
    void pump();
    void surveyAnswered(const PlasmaShell::Answer& answer);
    bool recordTakenOver();
    // Writes the entries (selecting the plugin where `select`); written() takes the answer.
    void send(std::map<int, PlasmaEntries> entries, bool select);
    void written(const PlasmaShell::Answer& answer, const std::map<int, PlasmaEntries>& entries,
                 bool select);
    std::map<int, PlasmaEntries> pendingEntries(const std::set<int>& full) const;
    void give(const std::string& why);
    void setDrawer(Display& display, Drawer drawer);
    std::vector<ScreenRecord> screens() const;

    PlasmaWallpapersDependencies deps_;
    std::map<int, Display> displays_;  // by handle, which grows in attach order
    int nextHandle_ = 1;
    std::vector<PlasmaDesktop> desktops_;    // as last surveyed
    std::map<int, PlasmaEntries> written_;   // by desktop id: what it holds of ours
    std::set<int> selected_;                 // desktops that show the plugin
    std::map<int, PlasmaWallpaper> record_;  // what desktops showed before, by id
    bool busy_ = false;                      // a script is on its way
    int generation_ = 0;                     // of plasmashell: one more at each new owner
    bool surveyWanted_ = false;
    bool writesWanted_ = false;
    bool pumpPosted_ = false;
    int retries_ = 0;  // surveys since the last change, for displays without a desktop
    TimerHandle retryTimer_;
    WeakSelf<PlasmaWallpapers> self_{*this};
};

}  // namespace tavel
