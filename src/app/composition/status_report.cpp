#include "app/composition/status_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace tavel {

namespace {

std::string pauseReasons(const AppState& state) {
    const AppSettings& s = state.settings();
    std::string reasons;
    auto add = [&](const char* reason) {
        if (!reasons.empty()) reasons += ", ";
        reasons += reason;
    };
    if (s.paused) add("paused by the user");
    if (s.pauseOnLowPower && state.lowPowerActive()) add("power saving");
    if (state.displayAsleep()) add("displays asleep");
    if (state.idleSaverShown()) add("covered by the idle saver");
    return reasons;
}

int channel(float value) {
    return static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

std::string idleSetting(std::int64_t minutes) {
    if (minutes == 0) return "off";
    if (minutes < 0) return "after 10 seconds without input";
    return "after " + std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes") +
           " without input";
}

}  // namespace

std::string percentText(double percent) {
    const double tenths = std::round(percent * 10) / 10;
    char text[32];
    std::snprintf(text, sizeof text, tenths == std::floor(tenths) ? "%.0f%%" : "%.1f%%", tenths);
    return text;
}

std::string budgetStatus(const RenderBudget* budget, ViewLimits views) {
    if (!budget) return "cpu budget: off";
    const std::string& renderer = budget->renderer();
    if (renderer.empty()) return "cpu budget: off (the renderer did not say its name)";
    if (!budget->softwareRenderer()) return "cpu budget: off (hardware renderer " + renderer + ")";
    if (!budget->applies()) return "cpu budget: off (set to 0; software renderer " + renderer + ")";
    auto limits = [](ViewLimits v) {
        char scale[16];
        std::snprintf(scale, sizeof scale, "%.2f", v.scale);
        return std::string("at scale ") + scale + ", " + std::to_string(v.fps) + " fps";
    };
    std::string line = "cpu budget: " + percentText(budget->percent()) + " of a core (" + renderer +
                       "), views " + limits(views) + ", ";
    // While the gallery is open its own budget holds, and the share is the whole process's.
    if (budget->galleryOpen())
        line +=
            "gallery open: " + percentText(budget->percent() * RenderBudget::kOpenGalleryFactor) +
            " for the whole process, its pictures " +
            limits(budget->limitGallery(ViewLimits{1.0, 30})) + ", ";
    if (auto usage = budget->usage())
        line += "using " + percentText(std::round(*usage * 100));
    else
        line += "not measured while nothing draws";
    return line;
}

std::string statusReport(const StatusSources& sources) {
    const AppState& state = sources.state;
    const IdleSaver& saver = sources.saver;
    std::ostringstream out;
    out << "displays:\n";
    if (state.displays().empty()) out << "  none\n";
    for (const DisplayInfo& display : state.displays()) {
        out << "  " << display.key << " \"" << display.name
            << "\": " << state.shaderID(display.key);
        if (WallpaperWindow* window = state.wallpaperWindow(display.key)) {
            const WallpaperView& view = window->shaderView();
            out << ", " << view.framesDrawn() << " frames, "
                << (view.isDrawing() ? "drawing" : "not drawing") << " (" << window->drawnBy()
                << ")";
        }
        out << '\n';
    }
    if (std::string program = state.desktopHiddenBy(); !program.empty())
        out << "desktop: " << program
            << " paints its own desktop over the effect here; \"Cover desktop icons\" in the "
               "settings shows the effect over it (its icons hidden, its clicks still its own)\n";
    out << "target: " << state.selectedDisplayTarget() << '\n';
    const std::string reasons = pauseReasons(state);
    out << "views: " << (state.viewsPaused() ? "paused (" + reasons + ")" : "running") << '\n';
    out << budgetStatus(state.renderBudget(), state.viewLimits()) << '\n';
    auto held = sources.activity.held();
    out << "process activity: " << (held.empty() ? "none" : "\"" + held.front() + "\"") << '\n';
    out << "idle saver: " << (saver.shown() ? "shown" : "hidden") << " ("
        << idleSetting(state.settings().idleAnimateMinutes) << ")\n";
    out << "launch at login: " << (state.launchAtLogin() ? "on" : "off") << '\n';
    if (const LiveLockVideo* video = sources.lockVideo) {
        out << "lock video: ";
        if (auto progress = video->progress())
            out << "encoding, " << std::lround(*progress * 100) << "%\n";
        else
            out << (state.settings().liveLockVideo ? "on\n" : "off\n");
    }
    out << "programs compiled: " << sources.programsCompiled << '\n';
    out << "gallery: " << sources.gallery << '\n';
    // The accent as the interface would tint with it.
    const Rgba accent = state.accent();
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", channel(accent.r), channel(accent.g),
                  channel(accent.b));
    out << "accent: " << hex << '\n';
    return out.str();
}

}  // namespace tavel
