#pragma once
// The CPU budget of the on-screen views (desktop, idle saver, gallery) where the GL
// renderer is a software rasteriser: it samples the process's CPU time and the frames
// drawn while views draw, walks the controller's rungs, and says what scale and frame
// rate every view may use. With a hardware renderer, or a budget of 0, it limits nothing
// and samples nothing. Offscreen work (icons, stills, movies) is never limited by it.
//
// An open gallery has a budget of its own: it is what the person looks at then, and its
// pictures alone would cost more than the desktop's budget. While it is open, the whole
// process keeps within kOpenGalleryFactor times the budget: the gallery's pictures walk
// a ladder of their own against that, and the desktop views keep the limits they had.
//
// Main thread only.

#include "platform/cpu_budget.h"
#include "platform/render_load.h"
#include "platform/scheduler.h"
#include "platform/weak_self.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavel {

// Whether a GL_RENDERER text names a software rasteriser (Mesa's llvmpipe, softpipe and
// swrast, and their kin); false for an empty text.
bool isSoftwareRenderer(std::string_view renderer);

// A budget as given on a command line or in TAVEL_CPU_BUDGET: a percentage of one core
// from 0 to RenderBudget::kMaxPercent, with or without a "%" after it; nothing else.
std::optional<double> parseBudgetPercent(std::string text);

class RenderBudget {
public:
    static constexpr double kDefaultPercent = 25;
    static constexpr double kOpenGalleryFactor = 4;
    // The highest budget one may ask for, in percent of one core.
    static constexpr double kMaxPercent = 10000;
    static constexpr Duration kSampleInterval = std::chrono::milliseconds(200);

    // `percent` of one core for all views together, 0 for no budget; `renderer` is
    // GL_RENDERER of the context the views draw with.
    RenderBudget(Scheduler& scheduler, RenderLoad& load, double percent, std::string renderer);
    ~RenderBudget();
    RenderBudget(const RenderBudget&) = delete;
    RenderBudget& operator=(const RenderBudget&) = delete;

    // Whether it limits the views: a software renderer and a budget above 0.
    bool applies() const { return applies_; }
    double percent() const { return percent_; }
    const std::string& renderer() const { return renderer_; }
    bool softwareRenderer() const { return software_; }

    // The desktop's own limits from the settings: the top the views never exceed. They
    // set the rungs; views that wish for more (the gallery draws at full resolution)
    // are lowered in the same proportion.
    void setUserLimits(ViewLimits user);
    // What a view that wishes for `wish` may use: the wish itself when nothing applies,
    // else its scale times the budget's share of the user's, and at most the budget's
    // frame rate. For the desktop's own views (wish = the user's limits) that is the rung.
    ViewLimits limit(ViewLimits wish) const;
    // Whether views draw now: the measure runs only then and starts afresh each time.
    void setDrawing(bool drawing);
    // The views draw other effects, parameters or screens now: costs are measured anew.
    void workChanged();
    // Runs on the main thread each time a sample moved the limits; never inside the
    // calls above.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    // The gallery is shown and not minimised, or not.
    void setGalleryOpen(bool open);
    bool galleryOpen() const { return galleryOpen_; }
    // What a gallery picture that wishes for `wish` may use while the gallery is open.
    ViewLimits limitGallery(ViewLimits wish) const;

    // For reports: the share of one core measured over the last seconds of drawing (the
    // whole process's while the gallery is open).
    std::optional<double> usage() const {
        return galleryOpen_ ? gallery_.usage() : controller_.usage();
    }

private:
    void sample();
    void sampleWhileNeeded();

    Scheduler& scheduler_;
    RenderLoad& load_;
    const double percent_;
    const std::string renderer_;
    const bool software_;
    const bool applies_;
    CpuBudgetController controller_;
    CpuBudgetController gallery_;  // the open gallery's pictures
    bool drawing_ = false;
    bool galleryOpen_ = false;
    TimerHandle sampler_;
    std::function<void()> changed_;
    WeakSelf<RenderBudget> self_{*this};
};

}  // namespace tavel
