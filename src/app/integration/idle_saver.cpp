#include "app/integration/idle_saver.h"

#include "app/core/display_key.h"

#include <algorithm>

namespace tavel {

using namespace std::chrono_literals;

namespace {

// Fades are stepped at the frame rate of a smooth animation.
constexpr Duration kFadeStep = Duration(1s) / 60;

}  // namespace

IdleSaver::IdleSaver(IdleSaverDependencies dependencies)
    : deps_(std::move(dependencies)), self_(std::make_shared<IdleSaver*>(this)) {}

IdleSaver::~IdleSaver() {
    if (monitoring_)
        for (InputMonitor* monitor : deps_.monitors) monitor->stop();
    for (auto& window : windows_) window->orderOut();
    for (auto& fade : fadesOut_)
        for (auto& window : fade->windows) window->orderOut();
}

double IdleSaver::elapsed(Duration since) const {
    return std::chrono::duration<double>(deps_.scheduler.now() - since).count();
}

void IdleSaver::watcherTick() {
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

void IdleSaver::present() {
    if (!state_ || shown()) return;
    const AppSettings& settings = state_->settings();
    for (const ScreenRecord& screen : deps_.screens.screens()) {
        auto window = deps_.windows.makeSaverWindow(screen);
        if (!window) continue;
        WallpaperView& view = window->shaderView();
        const std::string id = state_->shaderID(displayKey(screen));
        // Without a catalog effect the view keeps none and the window stays black.
        if (auto effect = shaderEffect(id)) view.setEffect(*effect);
        view.setParams(state_->params(id));
        view.setPreferredFramesPerSecond(settings.fps);
        view.setQualityScale(settings.retinaQuality ? 1.0 : 0.5);
        window->setAlpha(0);
        window->orderFront();
        windows_.push_back(std::move(window));
    }

    alpha_ = 0;
    fadeInStart_ = deps_.scheduler.now();
    std::weak_ptr<IdleSaver*> weak = self_;
    fadeInTimer_ = deps_.scheduler.scheduleRepeating(kFadeStep, [weak] {
        if (auto self = weak.lock()) (*self)->fadeInStep();
    });

    state_->forEachWallpaperView([](WallpaperView& view) { view.setRenderPaused(true); });

    monitoring_ = true;
    for (InputMonitor* monitor : deps_.monitors)
        monitor->start([weak] {
            if (auto self = weak.lock()) (*self)->dismiss();
        });
}

void IdleSaver::fadeInStep() {
    alpha_ = std::min(1.0, elapsed(fadeInStart_) / kFadeInSeconds);
    for (auto& window : windows_) window->setAlpha(alpha_);
    if (alpha_ >= 1.0) fadeInTimer_.cancel();
}

void IdleSaver::dismiss() {
    if (!shown()) return;
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
    std::weak_ptr<IdleSaver*> weak = self_;
    FadeOut* raw = fade.get();
    fade->timer = deps_.scheduler.scheduleRepeating(kFadeStep, [weak, raw] {
        if (auto self = weak.lock()) (*self)->fadeOutStep(*raw);
    });
    fadesOut_.push_back(std::move(fade));

    if (state_) state_->applyAll();
}

void IdleSaver::fadeOutStep(FadeOut& fade) {
    const double t = std::min(1.0, elapsed(fade.start) / kFadeOutSeconds);
    for (auto& window : fade.windows) window->setAlpha(fade.from * (1.0 - t));
    if (t < 1.0 || fade.done) return;
    fade.done = true;
    fade.timer.cancel();
    for (auto& window : fade.windows) window->orderOut();
    // Dropped outside the timer's own task.
    std::weak_ptr<IdleSaver*> weak = self_;
    deps_.scheduler.post([weak] {
        if (auto self = weak.lock()) (*self)->dropFinishedFades();
    });
}

void IdleSaver::dropFinishedFades() {
    std::erase_if(fadesOut_, [](const auto& fade) { return fade->done; });
}

void IdleSaver::displaySleepChanged(bool asleep) {
    for (auto& window : windows_) window->shaderView().setRenderPaused(asleep);
}

}  // namespace tavel
