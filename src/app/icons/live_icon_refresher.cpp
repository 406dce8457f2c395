#include "app/icons/live_icon_refresher.h"

#include "app/icons/accent.h"

#include <chrono>
#include <cmath>

namespace tavel {

LiveIconRefresher::LiveIconRefresher(Scheduler& main, Executor& iconQueue, RenderFrame render)
    : main_(main), iconQueue_(iconQueue), render_(std::move(render)) {}

LiveIconRefresher::~LiveIconRefresher() {
    self_.reset();
}

void LiveIconRefresher::refreshLiveIcons() {
    if (!state_ || state_->idleSaverShown() || state_->displayAsleep() || rendering_) return;
    const auto& displays = state_->displays();
    std::optional<ShaderEffect> effect =
        shaderEffect(state_->shaderID(displays.empty() ? std::string() : displays.front().key));
    if (!effect) {
        auto all = allShaders();
        if (all.empty()) return;
        effect = all.front();
    }
    ShaderParams params = state_->params(effect->id);
    if (!state_->viewsPaused())
        time_ = static_cast<float>(
            std::fmod(std::chrono::duration<double>(main_.now()).count(), 100000.0));
    Drawn next{effect->id, params, time_};
    if (lastDrawn_ == next) return;  // the same picture again
    lastDrawn_ = std::move(next);
    rendering_ = true;
    auto deliver = self_.guard(
        [](LiveIconRefresher& refresher, std::optional<LiveIconRenderer::Frame>& frame) {
            refresher.deliver(frame);
        });
    // The job holds its own copy of the render function: it may run after this is gone.
    iconQueue_.submit([render = render_, &main = main_, effect = std::move(*effect),
                       params = std::move(params), time = time_,
                       deliver = std::move(deliver)]() mutable {
        auto frame = render(effect, params, time);
        main.post(
            [deliver = std::move(deliver), frame = std::move(frame)]() mutable { deliver(frame); });
    });
}

void LiveIconRefresher::deliver(const std::optional<LiveIconRenderer::Frame>& frame) {
    rendering_ = false;
    if (!frame || !state_) return;
    if (auto update = onStatusIconUpdate) update(frame->statusIcon);
    state_->setAccent(accentFromAverage(frame->averageColor));
}

}  // namespace tavel
