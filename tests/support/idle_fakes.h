#pragma once
// Fakes of the idle saver's platform pieces.

#include "platform/idle.h"
#include "support/fakes.h"

namespace tavel::test {

class FakeIdleTime final : public IdleTimeSource {
public:
    double idleSeconds() override { return seconds; }
    double seconds = 0;
};

class FakeInputMonitor final : public InputMonitor {
public:
    void start(std::function<void()> onInput) override {
        handler = std::move(onInput);
        ++starts;
    }
    void stop() override {
        handler = nullptr;
        ++stops;
    }
    void input() {
        if (handler) handler();
    }
    std::function<void()> handler;
    int starts = 0, stops = 0;
};

struct FakeSaverState : FakeViewState {
    double alpha = -1;
    bool effectSet = false;
};

class FakeSaverWindow final : public SaverWindow, public WallpaperView {
public:
    explicit FakeSaverWindow(std::shared_ptr<FakeSaverState> state) : state_(std::move(state)) {}
    ~FakeSaverWindow() override { state_->closed = true; }
    WallpaperView& shaderView() override { return *this; }
    void setAlpha(double alpha) override { state_->alpha = alpha; }
    void orderFront() override { state_->front = true; }
    void orderOut() override { state_->front = false; }
    void setEffect(const ShaderEffect& effect) override {
        state_->effectId = effect.id;
        state_->effectSet = true;
    }
    void setParams(const ShaderParams& params) override { state_->params = params; }
    void setPreferredFramesPerSecond(std::int64_t fps) override { state_->fps = fps; }
    void setQualityScale(double scale) override { state_->qualityScale = scale; }
    void setRenderPaused(bool paused) override { state_->paused = paused; }
    std::uint64_t framesDrawn() const override { return 0; }
    bool isDrawing() const override { return !state_->paused && state_->front; }

private:
    std::shared_ptr<FakeSaverState> state_;
};

class FakeSaverWindows final : public SaverWindowFactory {
public:
    std::unique_ptr<SaverWindow> makeSaverWindow(const ScreenRecord& screen) override {
        auto state = std::make_shared<FakeSaverState>();
        made.push_back({screen.name, state});
        return std::make_unique<FakeSaverWindow>(state);
    }
    // Windows on screen now (ordered front and not yet ordered out).
    int visible() const {
        int n = 0;
        for (auto& m : made) n += m.state->front;
        return n;
    }
    struct Made {
        std::string screen;
        std::shared_ptr<FakeSaverState> state;
    };
    std::vector<Made> made;
};

}  // namespace tavel::test
