#include "platform/render_budget.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

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
      controller_(applies_ ? percent_ / 100.0 : 1.0),
      gallery_(applies_ ? percent_ * kOpenGalleryFactor / 100.0 : 1.0) {
    gallery_.setUserLimits(ViewLimits{1.0, 30});
}

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
    sampleWhileNeeded();
}

void RenderBudget::setGalleryOpen(bool open) {
    if (!applies_ || open == galleryOpen_) return;
    galleryOpen_ = open;
    // Each measure starts afresh: the other one's drawing is in what came before.
    gallery_.restartMeasure();
    controller_.restartMeasure();
    sampleWhileNeeded();
}

void RenderBudget::sampleWhileNeeded() {
    if (!drawing_ && !galleryOpen_) {
        sampler_.cancel();
        return;
    }
    if (sampler_.active()) return;
    sampler_ = scheduler_.scheduleRepeating(kSampleInterval,
                                            self_.guard([](RenderBudget& b) { b.sample(); }));
    sample();
}

ViewLimits RenderBudget::limitGallery(ViewLimits wish) const {
    if (!applies_) return wish;
    const ViewLimits rung = galleryOpen_ ? gallery_.limits() : gallery_.userLimits();
    return ViewLimits{wish.scale * rung.scale, std::min(wish.fps, rung.fps)};
}

void RenderBudget::workChanged() {
    if (applies_) controller_.workChanged();
}

void RenderBudget::sample() {
    // While the gallery is open the views hold their rung; its pictures answer for all.
    CpuBudgetController& walking = galleryOpen_ ? gallery_ : controller_;
    const ViewLimits before = walking.limits();
    walking.sample(scheduler_.now(), load_.cpuSeconds(), load_.framesDrawn());
    if (walking.limits() != before && changed_) changed_();
}

std::optional<double> parseBudgetPercent(std::string text) {
    if (text.ends_with('%')) text.pop_back();
    if (text.empty()) return std::nullopt;
    const char* begin = text.data();
    // from_chars takes no plus sign; one is allowed, but not before a minus.
    if (*begin == '+' && text.size() > 1 && begin[1] != '-') ++begin;
    double value = 0;
    auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < 0 || value > RenderBudget::kMaxPercent)
        return std::nullopt;
    return value;
}

}  // namespace tavel
