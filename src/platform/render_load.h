#pragma once
// What the views' CPU budget measures: the CPU time of the process and the frames its
// on-screen views have drawn. Main thread.

#include <cstdint>
#include <functional>
#include <utility>

namespace tavel {

class RenderLoad {
public:
    virtual ~RenderLoad() = default;
    // CPU seconds that every thread of this process has used so far.
    virtual double cpuSeconds() const = 0;
    // Frames the on-screen views (desktop, idle saver, gallery) have drawn so far,
    // together.
    virtual std::uint64_t framesDrawn() const = 0;
};

// This process's CPU clock (CLOCK_PROCESS_CPUTIME_ID): with a software rasteriser the
// frames are drawn on the driver's own threads as much as on the main thread, so only
// the whole process's time holds their cost. The frames come from `frames`.
class ProcessRenderLoad final : public RenderLoad {
public:
    explicit ProcessRenderLoad(std::function<std::uint64_t()> frames)
        : frames_(std::move(frames)) {}
    double cpuSeconds() const override;
    std::uint64_t framesDrawn() const override { return frames_(); }

private:
    std::function<std::uint64_t()> frames_;
};

}  // namespace tavel
