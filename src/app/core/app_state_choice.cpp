// Shuffle, browsing, the pause switch, the activation policy, the reactions to
// power-saving mode and display sleep, and the registrations with the desktop.

#include "app/core/app_state.h"

#include <cstdlib>
#include <limits>

namespace tavel {

void AppState::restartShuffleTimer() {
    shuffleTimer_.cancel();
    if (settings_.shuffleMinutes < 1) return;
    // A hand-edited period too long for the clock is as good as never; cap it at a
    // century rather than overflow.
    constexpr std::int64_t kMaxMinutes = 100LL * 365 * 24 * 60;
    std::int64_t minutes = std::min(settings_.shuffleMinutes, kMaxMinutes);
    shuffleTimer_ = deps_.scheduler.scheduleRepeating(
        std::chrono::seconds(minutes * 60), self_.guard([](AppState& s) { s.shuffleNow(); }));
}

void AppState::shuffleNow() {
    std::vector<std::string> candidates;
    for (const ShaderEffect& effect : allShaders())
        if (effect.id != settings_.globalShaderID) candidates.push_back(effect.id);
    if (candidates.empty()) return;
    std::size_t index = deps_.randomIndex(candidates.size());
    const std::string picked = candidates[index < candidates.size() ? index : 0];

    updateSettings([](AppSettings& s) { s.sameOnAllDisplays = true; });
    updateSettings([](AppSettings& s) { s.perDisplay.clear(); });
    updateSettings([&](AppSettings& s) { s.globalShaderID = picked; });
    if (settings_.syncLockScreen) syncStill();
    updateVideo(false);
}

void AppState::browse(std::int64_t step) {
    const auto n = static_cast<std::int64_t>(allShaders().size());
    if (n == 0) return;
    // Reduced first, so that no step can overflow the sum.
    setBrowseIndex(((browseIndex_ % n + step % n) % n + n) % n);
}

ShaderEffect AppState::browsedEffect() const {
    auto all = allShaders();
    if (all.empty()) {
        deps_.log.write("Tavel: empty shader library");
        std::abort();
    }
    const auto last = static_cast<std::int64_t>(all.size()) - 1;
    return all[static_cast<std::size_t>(std::clamp<std::int64_t>(browseIndex_, 0, last))];
}

void AppState::applyBrowsed() {
    setShader(browsedEffect().id);
}

void AppState::syncBrowseToActive() {
    const std::string active = activeShaderID();
    auto all = allShaders();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].id == active) {
            setBrowseIndex(static_cast<std::int64_t>(i));
            return;
        }
    }
}

void AppState::togglePaused() {
    updateSettings([](AppSettings& s) { s.paused = !s.paused; });
}

void AppState::applyActivationPolicy() {
    deps_.activation.setActivationPolicy(settings_.showDockIcon ? ActivationPolicy::regular
                                                                : ActivationPolicy::accessory);
    if (settings_.showDockIcon) deps_.activation.activate();
}

void AppState::powerStateChanged() {
    defer([](AppState& s) {
        s.lowPowerActive_ = s.deps_.power.lowPowerActive();
        s.applyAll();
    });
}

void AppState::screensDidSleep() {
    defer([](AppState& s) {
        s.displayAsleep_ = true;
        s.applyAll();
        if (IdleWatcher* idle = s.deps_.integrations.idle) idle->displaySleepChanged(true);
    });
}

void AppState::screensDidWake() {
    defer([](AppState& s) {
        s.displayAsleep_ = false;
        s.applyAll();
        if (IdleWatcher* idle = s.deps_.integrations.idle) idle->displaySleepChanged(false);
    });
}

bool AppState::launchAtLogin() const {
    return deps_.loginItem && deps_.loginItem->enabled();
}

void AppState::setLaunchAtLogin(bool on) {
    const Result<void> changed = deps_.loginItem
                                     ? deps_.loginItem->setEnabled(on)
                                     : Failure{"this build cannot start with the session"};
    if (!changed) deps_.log.write("Tavel: launch-at-login change failed: " + changed.why());
    willChange(Property::launchAtLogin);
}

bool AppState::saverEmbedded() const {
    // Once per run: a program added while it runs is noticed at the next start.
    if (!saverEmbedded_) saverEmbedded_ = deps_.saverInstaller && deps_.saverInstaller->available();
    return *saverEmbedded_;
}

std::string AppState::installScreenSaver() {
    // Looked up anew at each call, unlike saverEmbedded().
    if (!deps_.saverInstaller || !deps_.saverInstaller->available()) {
        deps_.log.write("Tavel: saver not embedded in this build");
        return {};
    }
    Result<std::string> instructions = deps_.saverInstaller->install();
    if (!instructions) {
        deps_.log.write("Tavel: screen saver installation failed: " + instructions.why());
        return {};
    }
    return *instructions;
}

}  // namespace tavel
