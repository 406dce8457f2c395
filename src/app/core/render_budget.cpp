#include "app/core/render_budget.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tavel {

namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

bool isSoftwareRenderer(std::string_view renderer) {
    // Mesa's rasterisers (also beneath zink), the old swrast's own name, OpenSWR,
    // SwiftShader, and WARP under Mesa's D3D12 driver.
    static constexpr std::array<std::string_view, 7> kNames{
        "llvmpipe",    "softpipe",           "swrast", "software rasterizer", "lavapipe",
        "swiftshader", "basic render driver"};
    const std::string text = lowered(renderer);
    for (std::string_view name : kNames)
        if (text.find(name) != std::string::npos) return true;
    return text == "swr" || text.starts_with("swr ");
}

RenderBudget::RenderBudget(Scheduler& scheduler, RenderLoad& load, double percent,
                           std::string renderer)
    : scheduler_(scheduler),
      load_(load),
      percent_(percent),
      renderer_(std::move(renderer)),
      software_(isSoftwareRenderer(renderer_)),
      applies_(software_ && percent_ > 0),
      controller_(applies_ ? percent_ / 100.0 : 1.0) {}

RenderBudget::~RenderBudget() {
    self_.reset();
}

void RenderBudget::setUserLimits(ViewLimits user) {
    controller_.setUserLimits(user);
}

ViewLimits RenderBudget::limit(ViewLimits wish) const {
    if (!applies_) return wish;
    const ViewLimits user = controller_.userLimits();
    const ViewLimits rung = controller_.limits();
    return ViewLimits{wish.scale * (rung.scale / user.scale), std::min(wish.fps, rung.fps)};
}

void RenderBudget::setDrawing(bool drawing) {
    if (!applies_ || drawing == drawing_) return;
    drawing_ = drawing;
    controller_.restartMeasure();
    if (!drawing) {
        sampler_.cancel();
        return;
    }
    sampler_ = scheduler_.scheduleRepeating(kSampleInterval,
                                            self_.guard([](RenderBudget& b) { b.sample(); }));
    sample();
}

void RenderBudget::workChanged() {
    if (applies_) controller_.workChanged();
}

void RenderBudget::sample() {
    const ViewLimits before = controller_.limits();
    controller_.sample(scheduler_.now(), load_.cpuSeconds(), load_.framesDrawn());
    if (controller_.limits() != before && changed_) changed_();
}

}  // namespace tavel
