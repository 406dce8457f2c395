#pragma once
// Fakes of what a ShaderView draws with: no GL, no real time.

#include "effects/shader_view.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tavel::test {

class FakeSurface final : public RenderSurface {
public:
    bool makeCurrent() override { return bindable; }
    void present() override { ++presented; }
    int pixelWidth() const override { return 200; }
    int pixelHeight() const override { return 100; }
    bool bindable = true;
    int presented = 0;
};

class FakeRenderer final : public FrameRenderer {
public:
    struct Frame {
        unsigned program;
        Uniforms uniforms;
        std::array<int, 4> sizes;  // drawable width and height, surface width and height
    };
    void drawFrame(unsigned program, int, const Uniforms& uniforms, int drawableWidth,
                   int drawableHeight, int surfaceWidth, int surfaceHeight, float) override {
        frames.push_back(
            {program, uniforms, {drawableWidth, drawableHeight, surfaceWidth, surfaceHeight}});
    }
    std::vector<Frame> frames;
};

// Answers known effects at once, holds the rest until the test delivers them.
class FakeCompiler final : public ProgramCompiler {
public:
    using Done = std::function<void(const Outcome&)>;
    Request request(const ShaderEffect& effect, Done done) override {
        if (auto it = known.find(effect.id); it != known.end()) {
            done(it->second);
            return {};
        }
        auto waiter = std::make_shared<Done>(std::move(done));
        waiting.push_back({effect.id, waiter});
        return Request(waiter);
    }
    // The outcome reaches every request for `id` still held; returns how many.
    int deliver(const std::string& id, const Outcome& outcome) {
        int n = 0;
        for (auto& [waitingId, weak] : waiting)
            if (auto waiter = weak.lock(); waiter && waitingId == id) (*waiter)(outcome), ++n;
        return n;
    }
    std::map<std::string, Outcome> known;
    std::vector<std::pair<std::string, std::weak_ptr<Done>>> waiting;
};

// Outlives the view, so a test sees that the view stopped its timer when it went.
struct TimerState {
    bool running = false;
    double fps = 0;
    std::function<void()> tick;
};

class FakeTimer final : public FrameTimer {
public:
    explicit FakeTimer(std::shared_ptr<TimerState> state) : state_(std::move(state)) {}
    void start(double fps, std::function<void()> tick) override { *state_ = {true, fps, tick}; }
    void stop() override { *state_ = {}; }
    std::shared_ptr<TimerState> state_;
};

}  // namespace tavel::test
