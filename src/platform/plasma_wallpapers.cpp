#include "platform/plasma_wallpapers.h"

#include "platform/atomic_file.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace tavel {

namespace {

using namespace std::chrono_literals;

// plasmashell owns its bus name before its scripting object and its desktops exist, and
// makes the desktop of a new screen a moment after the screen appears: it is asked
// again, this often, this many times.
constexpr Duration kRetryDelay = 1s;
constexpr int kMaxRetries = 15;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

PlasmaWallpapers::PlasmaWallpapers(PlasmaWallpapersDependencies dependencies)
    : deps_(std::move(dependencies)) {
    std::error_code missing;
    if (std::filesystem::exists(deps_.record, missing)) {
        if (auto record = decodePlasmaRecord(readFile(deps_.record)))
            record_ = std::move(*record);
        else
            deps_.log.write("Tavel: " + deps_.record.string() +
                            " is not a record of Plasma's wallpapers; it is replaced");
    }
    deps_.shell.setOwnerHandler(self_.guard([](PlasmaWallpapers& s) { s.ownerChanged(); }));
    if (deps_.shell.running())
        requestSurvey();
    else
        deps_.log.write(
            "Tavel: plasmashell is not running; Tavel draws the desktops itself until it starts");
}

PlasmaWallpapers::~PlasmaWallpapers() {
    self_.reset();
    deps_.shell.setOwnerHandler({});
}

int PlasmaWallpapers::attach(const ScreenRecord& screen, std::function<void()> changed) {
    const int handle = nextHandle_++;
    Display& display = displays_[handle];
    display.screen = screen;
    display.changed = std::move(changed);
    if (deps_.shell.running()) {
        // Known desktops first (a rebuild of the windows), then asked again.
        display.desktops = plasmaDesktopsFor(screen, screens(), desktops_);
        bool shown = !display.desktops.empty();
        for (int id : display.desktops) shown &= selected_.count(id) > 0;
        display.drawer = shown ? Drawer::plugin : Drawer::waiting;
        retries_ = 0;
        requestSurvey();
    }
    return handle;
}

void PlasmaWallpapers::detach(int handle) {
    displays_.erase(handle);
}

PlasmaWallpapers::Drawer PlasmaWallpapers::drawer(int handle) const {
    auto it = displays_.find(handle);
    return it == displays_.end() ? Drawer::own : it->second.drawer;
}

void PlasmaWallpapers::want(int handle, const PlasmaPluginConfig& config) {
    auto it = displays_.find(handle);
    if (it == displays_.end() || it->second.wanted == config) return;
    it->second.wanted = config;
    if (it->second.drawer == Drawer::own) return;
    writesWanted_ = true;
    pump();
}

// --- asking plasmashell ---------------------------------------------------------

void PlasmaWallpapers::ownerChanged() {
    // A new plasmashell knows nothing of what the last one was told, and what the last
    // one still answers is of no use.
    ++generation_;
    desktops_.clear();
    written_.clear();
    selected_.clear();
    retries_ = 0;
    retryTimer_.cancel();
    const bool running = deps_.shell.running();
    for (auto& [handle, display] : displays_) {
        display.desktops.clear();
        setDrawer(display, running ? Drawer::waiting : Drawer::own);
    }
    if (running)
        requestSurvey();
    else
        deps_.log.write(
            "Tavel: plasmashell ended; Tavel draws the desktops itself until it starts again");
}

void PlasmaWallpapers::requestSurvey() {
    surveyWanted_ = true;
    pump();
}

void PlasmaWallpapers::pump() {
    // One script at a time, started from the loop: what a window rebuild or a slider
    // drag changes at once goes out together.
    if (pumpPosted_ || busy_) return;
    pumpPosted_ = true;
    deps_.scheduler.post(self_.guard([](PlasmaWallpapers& s) {
        s.pumpPosted_ = false;
        if (s.busy_ || !s.deps_.shell.running()) return;
        if (s.surveyWanted_) {
            s.surveyWanted_ = false;
            s.busy_ = true;
            s.deps_.shell.evaluate(
                plasmaSurveyScript(),
                s.self_.guard([generation = s.generation_](PlasmaWallpapers& s, auto answer) {
                    s.busy_ = false;
                    if (generation == s.generation_) s.surveyAnswered(answer);
                    s.pump();
                }));
        } else if (s.writesWanted_) {
            s.writesWanted_ = false;
            if (auto entries = s.pendingEntries({}); !entries.empty())
                s.send(std::move(entries), false);
        }
    }));
}

void PlasmaWallpapers::retryLater() {
    ++retries_;
    retryTimer_ = deps_.scheduler.scheduleOnce(
        kRetryDelay, self_.guard([](PlasmaWallpapers& s) { s.requestSurvey(); }));
}

void PlasmaWallpapers::give(const std::string& why) {
    // Tavel's own windows draw until plasmashell starts again.
    deps_.log.write("Tavel: " + why + "; Tavel draws the desktops itself");
    surveyWanted_ = writesWanted_ = false;
    retryTimer_.cancel();
    for (auto& [handle, display] : displays_) {
        display.desktops.clear();
        setDrawer(display, Drawer::own);
    }
}

void PlasmaWallpapers::surveyAnswered(const PlasmaShell::Answer& answer) {
    if (!deps_.shell.running()) return;  // it ended meanwhile; told by the owner change
    Result<std::vector<PlasmaDesktop>> desktops =
        answer.ok ? parsePlasmaDesktops(answer.text) : Failure{answer.text};
    if (!desktops && answer.notRun && retries_ < kMaxRetries) {
        retryLater();
        return;
    }
    if (!desktops) {
        give("plasmashell did not list its desktops (" + desktops.why() + ")");
        return;
    }
    desktops_ = std::move(*desktops);
    selected_.clear();
    for (const PlasmaDesktop& desktop : desktops_)
        if (desktop.wallpaper.plugin == kPlasmaPluginId) selected_.insert(desktop.id);
    bool unmatched = false;
    std::set<int> selecting;
    for (auto& [handle, display] : displays_) {
        display.desktops = plasmaDesktopsFor(display.screen, screens(), desktops_);
        unmatched |= display.desktops.empty();
        for (int id : display.desktops)
            if (!selected_.count(id)) selecting.insert(id);
        if (display.desktops.empty()) setDrawer(display, Drawer::own);
    }
    if (unmatched && retries_ < kMaxRetries) retryLater();
    // What a desktop showed is kept safe before anything of it changes.
    if (!selecting.empty() && !recordTakenOver()) return;
    auto entries = pendingEntries(selecting);
    for (int id : selecting) entries[id];  // selected even before anything is wanted
    if (entries.empty()) {
        for (auto& [handle, display] : displays_)
            if (!display.desktops.empty()) setDrawer(display, Drawer::plugin);
        return;
    }
    send(std::move(entries), true);
}

bool PlasmaWallpapers::recordTakenOver() {
    bool added = false;
    for (const PlasmaDesktop& desktop : desktops_)
        if (desktop.wallpaper.plugin != kPlasmaPluginId && !record_.count(desktop.id)) {
            record_[desktop.id] = desktop.wallpaper;
            added = true;
        }
    if (!added) return true;
    const std::string text = encodePlasmaRecord(record_);
    std::error_code ignored;
    std::filesystem::create_directories(deps_.record.parent_path(), ignored);
    const Result<void> written = writeFileAtomically(deps_.record, textBytes(text), 0600, false);
    if (written) return true;
    give("the wallpapers of Plasma's desktops could not be recorded (" + written.why() + ")");
    return false;
}

void PlasmaWallpapers::send(std::map<int, PlasmaEntries> entries, bool select) {
    busy_ = true;
    const std::string script = plasmaWriteScript(entries, select);
    deps_.shell.evaluate(
        script, self_.guard([entries = std::move(entries), select, generation = generation_](
                                PlasmaWallpapers& s, auto answer) {
            s.busy_ = false;
            if (generation == s.generation_) s.written(answer, entries, select);
            s.pump();
        }));
}

void PlasmaWallpapers::written(const PlasmaShell::Answer& answer,
                               const std::map<int, PlasmaEntries>& entries, bool select) {
    Result<std::vector<int>> ids =
        answer.ok ? parsePlasmaWritten(answer.text) : Failure{answer.text};
    if (!ids) {
        if (!deps_.shell.running()) return;  // it ended meanwhile; told by the owner change
        const std::string& why = ids.why();
        if (select)
            give("plasmashell did not take Tavel's wallpaper plugin (" + why + ")");
        else
            deps_.log.write("Tavel: plasmashell did not take the wallpaper settings (" + why + ")");
        return;
    }
    for (int id : *ids) {
        auto sent = entries.find(id);
        if (sent == entries.end()) continue;  // not one of those asked for
        for (const auto& [key, value] : sent->second) written_[id][key] = value;
        selected_.insert(id);
    }
    if (!select) return;
    for (auto& [handle, display] : displays_) {
        if (display.desktops.empty()) continue;
        bool shown = true;
        for (int id : display.desktops) shown &= selected_.count(id) > 0;
        setDrawer(display, shown ? Drawer::plugin : Drawer::own);
    }
}

std::map<int, PlasmaEntries> PlasmaWallpapers::pendingEntries(const std::set<int>& full) const {
    std::map<int, PlasmaEntries> entries;
    for (const auto& [handle, display] : displays_) {
        if (!display.wanted) continue;
        const PlasmaEntries now = plasmaConfigEntries(*display.wanted);
        for (int id : display.desktops) {
            auto before = written_.find(id);
            PlasmaEntries changed = full.count(id) || before == written_.end()
                                        ? now
                                        : changedEntries(before->second, now);
            if (!changed.empty()) entries[id] = std::move(changed);
        }
    }
    return entries;
}

void PlasmaWallpapers::setDrawer(Display& display, Drawer drawer) {
    if (display.drawer == drawer) return;
    display.drawer = drawer;
    if (display.changed) display.changed();
}

std::vector<ScreenRecord> PlasmaWallpapers::screens() const {
    std::vector<ScreenRecord> list;
    for (const auto& [handle, display] : displays_) list.push_back(display.screen);
    return list;
}

// --- the end --------------------------------------------------------------------

void PlasmaWallpapers::handBack() {
    retryTimer_.cancel();
    std::error_code missing;
    const bool recorded = std::filesystem::exists(deps_.record, missing);
    if (!recorded && selected_.empty()) return;
    if (!deps_.shell.running()) {
        deps_.log.write(
            "Tavel: plasmashell is not running, so Plasma's wallpapers cannot be given back "
            "now; their record stays in " +
            deps_.record.string());
        return;
    }
    PlasmaShell::Answer answer = deps_.shell.evaluateNow(plasmaRestoreScript(record_));
    const Result<std::vector<int>> ids =
        answer.ok ? parsePlasmaWritten(answer.text) : Failure{answer.text};
    if (!ids) {
        deps_.log.write("Tavel: Plasma's wallpapers could not be given back (" + ids.why() +
                        "); the record stays in " + deps_.record.string());
        return;
    }
    selected_.clear();
    record_.clear();
    std::error_code ignored;
    std::filesystem::remove(deps_.record, ignored);
}

}  // namespace tavel
