#include "app/integration/idle_saver.h"

#include "app/core/display_key.h"

#include <algorithm>

namespace tavel {

using namespace std::chrono_literals;

namespace {

// Fades are stepped at the frame rate of a smooth animation.
constexpr Duration kFadeStep = Duration(1s) / 60;

}  // namespace

IdleSaver::IdleSaver(IdleSaverDependencies dependencies) : deps_(std::move(dependencies)) {}

IdleSaver::~IdleSaver() {
    self_.reset();
    if (monitoring_)
        for (InputMonitor* monitor : deps_.monitors) monitor->stop();
    for (auto& covering : windows_) covering.window->orderOut();
    for (auto& fade : fadesOut_)
        for (auto& covering : fade->windows) covering.window->orderOut();
}

double IdleSaver::elapsed(Duration since) const {
    return std::chrono::duration<double>(deps_.scheduler.now() - since).count();
}

void IdleSaver::idleWatcherTick() {
    if (!state_ || state_->displayAsleep()) return;
    const AppSettings& settings = state_->settings();
    if (settings.idleAnimateMinutes == 0) {
        if (shown()) dismiss();
        return;
    }
    const double threshold = settings.idleAnimateMinutes > 0
                                 ? double(settings.idleAnimateMinutes) * 60.0
                                 : kAlwaysThresholdSeconds;
    const double idle = deps_.idleTime.idleSeconds();
    if (shown()) {
        if (idle < kDismissBelowSeconds) dismiss();
        return;
    }
    if (idle < threshold) return;
    // Power saving blocks showing, never a saver already shown.
    if (settings.pauseOnLowPower && state_->lowPowerActive()) return;
    present();
}

std::unique_ptr<SaverWindow> IdleSaver::cover(const ScreenRecord& screen) {
    auto window = deps_.windows.makeSaverWindow(screen);
    if (!window) return nullptr;
    WallpaperView& view = window->shaderView();
    const std::string id = state_->shaderID(displayKey(screen));
    // Without a catalog effect the view keeps none and the window stays black.
    if (auto effect = shaderEffect(id)) view.setEffect(*effect);
    view.setParams(state_->params(id));
    // The desktop views' limits: the settings, lowered by the CPU budget, which the
    // saver's views have to themselves while the desktop views are paused.
    const ViewLimits limits = state_->viewLimits();
    view.setPreferredFramesPerSecond(limits.fps);
    view.setQualityScale(limits.scale);
    view.setRenderPaused(state_->displayAsleep());
    window->setAlpha(alpha_);
    window->orderFront();
    return window;
}

void IdleSaver::present() {
    if (!state_ || shown()) return;
    shown_ = true;
    alpha_ = 0;
    for (const ScreenRecord& screen : deps_.screens.screens())
        if (auto window = cover(screen)) windows_.push_back({screen, std::move(window)});

    fadeInStart_ = deps_.scheduler.now();
    fadeInTimer_ = deps_.scheduler.scheduleRepeating(
        kFadeStep, self_.guard([](IdleSaver& saver) { saver.fadeInStep(); }));

    // Part of the state's pause decision from now on, so that nothing that applies the
    // settings meanwhile starts the desktop views again.
    state_->setIdleSaverShown(true);

    monitoring_ = true;
    for (InputMonitor* monitor : deps_.monitors)
        monitor->start(self_.guard([](IdleSaver& saver) { saver.dismiss(); }));
}

void IdleSaver::screensChanged() {
    if (!shown()) return;
    std::vector<ScreenRecord> screens = deps_.screens.screens();
    // A window whose screen is gone or changed goes at once (its monitor may be gone).
    std::erase_if(windows_, [&](Covering& covering) {
        bool listed = std::find(screens.begin(), screens.end(), covering.screen) != screens.end();
        if (!listed) covering.window->orderOut();
        return !listed;
    });
    for (const ScreenRecord& screen : screens) {
        bool covered = std::any_of(windows_.begin(), windows_.end(),
                                   [&](const Covering& c) { return c.screen == screen; });
        if (covered) continue;
        if (auto window = cover(screen)) windows_.push_back({screen, std::move(window)});
    }
}

void IdleSaver::fadeInStep() {
    alpha_ = std::min(1.0, elapsed(fadeInStart_) / kFadeInSeconds);
    for (auto& covering : windows_) covering.window->setAlpha(alpha_);
    if (alpha_ >= 1.0) fadeInTimer_.cancel();
}

void IdleSaver::dismiss() {
    if (!shown()) return;
    shown_ = false;
    if (monitoring_) {
        monitoring_ = false;
        for (InputMonitor* monitor : deps_.monitors) monitor->stop();
    }
    fadeInTimer_.cancel();

    auto fade = std::make_unique<FadeOut>();
    fade->windows = std::move(windows_);
    windows_.clear();
    fade->from = alpha_;
    fade->start = deps_.scheduler.now();
    FadeOut* raw = fade.get();
    fade->timer = deps_.scheduler.scheduleRepeating(
        kFadeStep, self_.guard([raw](IdleSaver& saver) { saver.fadeOutStep(*raw); }));
    fadesOut_.push_back(std::move(fade));

    if (state_) state_->setIdleSaverShown(false);
}

void IdleSaver::fadeOutStep(FadeOut& fade) {
    const double t = std::min(1.0, elapsed(fade.start) / kFadeOutSeconds);
    for (auto& covering : fade.windows) covering.window->setAlpha(fade.from * (1.0 - t));
    if (t < 1.0 || fade.done) return;
    fade.done = true;
    fade.timer.cancel();
    for (auto& covering : fade.windows) covering.window->orderOut();
    // Dropped outside the timer's own task.
    deps_.scheduler.post(self_.guard([](IdleSaver& saver) { saver.dropFinishedFades(); }));
}

void IdleSaver::dropFinishedFades() {
    std::erase_if(fadesOut_, [](const auto& fade) { return fade->done; });
}

void IdleSaver::viewLimitsChanged() {
    if (!state_) return;
    const ViewLimits limits = state_->viewLimits();
    for (auto& covering : windows_) {
        WallpaperView& view = covering.window->shaderView();
        view.setPreferredFramesPerSecond(limits.fps);
        view.setQualityScale(limits.scale);
    }
}

void IdleSaver::displaySleepChanged(bool asleep) {
    for (auto& covering : windows_) covering.window->shaderView().setRenderPaused(asleep);
}

}  // namespace tavel
