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
    void start(std::function<void()> onInput) override { handler = std::move(onInput); }
    void stop() override { handler = nullptr, ++stops; }
    void input() {
        if (handler) handler();
    }
    std::function<void()> handler;
    int stops = 0;
};

struct FakeSaverState : FakeViewState {
    double alpha = -1;
};

class FakeSaverWindow final : public SaverWindow, public FakeView {
public:
    explicit FakeSaverWindow(std::shared_ptr<FakeSaverState> state)
        : FakeView(state, nullptr, ""), saver_(std::move(state)) {}
    WallpaperView& shaderView() override { return *this; }
    void setAlpha(double alpha) override { saver_->alpha = alpha; }
    void orderFront() override { state_->front = true; }
    void orderOut() override { state_->front = false; }

private:
    std::shared_ptr<FakeSaverState> saver_;
};

class FakeSaverWindows final : public SaverWindowFactory {
public:
    std::unique_ptr<SaverWindow> makeSaverWindow(const ScreenRecord& screen) override {
        made.push_back({screen.name, std::make_shared<FakeSaverState>()});
        return std::make_unique<FakeSaverWindow>(made.back().state);
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
