#pragma once
// The live icons: every refresh renders a small frame of the effect on the first display
// on the icon queue, hands its status icon to whoever shows one and turns its average
// colour into the interface accent. Nothing is rendered while the idle saver covers the
// screens or the displays sleep. The icons follow the views: while those are paused the
// icon's time stands still, and a frame that could not differ from the last one (the
// same effect, parameters and time) is not rendered again.
//
// Main thread, except the render function, which runs on the icon queue.

#include "app/core/app_state.h"
#include "app/core/integrations.h"
#include "effects/offscreen/live_icon_renderer.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <functional>
#include <optional>
#include <string>

namespace tavel {

class LiveIconRefresher final : public LiveIcons {
public:
    // Renders at an effect time (seconds, times the parameters' speed by the renderer).
    using RenderFrame = std::function<std::optional<LiveIconRenderer::Frame>(
        const ShaderEffect&, const ShaderParams&, float time)>;

    // `render` runs on `iconQueue` (serial), the only user of the renderer behind it; results
    // come back through `main`, whose clock times the frames.
    LiveIconRefresher(Scheduler& main, Executor& iconQueue, RenderFrame render);
    ~LiveIconRefresher() override;
    LiveIconRefresher(const LiveIconRefresher&) = delete;
    LiveIconRefresher& operator=(const LiveIconRefresher&) = delete;

    // The state whose displays, effects and flags it reads and whose accent it sets; set
    // before the first refresh.
    void attach(AppState& state) { state_ = &state; }

    // One frame at a time: a refresh while the last one still renders is skipped, so a slow
    // renderer never builds a backlog.
    void refreshLiveIcons() override;

    // Each new status icon, on the main thread; empty for none.
    std::function<void(const Image&)> onStatusIconUpdate;

private:
    void deliver(const std::optional<LiveIconRenderer::Frame>& frame);

    Scheduler& main_;
    Executor& iconQueue_;
    RenderFrame render_;
    AppState* state_ = nullptr;
    bool rendering_ = false;
    float time_ = 0;  // of the next frame: moves only while the views run
    struct Drawn {
        std::string effect;
        ShaderParams params;
        float time;
        bool operator==(const Drawn&) const = default;
    };
    std::optional<Drawn> lastDrawn_;
    WeakSelf<LiveIconRefresher> self_{*this};
};

}  // namespace tavel
