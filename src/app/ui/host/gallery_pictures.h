#pragma once
// The gallery's pictures of effects. Live: one ShaderView per slot drawing into a
// texture in the desktop views' share group (so no program is compiled twice), paced by
// the gallery's own frames at the slot's rate. Still (HV_STATIC_PREVIEW=1): one image per
// effect, rendered once off the main thread and kept for the run.
//
// Main thread only, with the gallery's GL context current during picture(), blurred(),
// endFrame() and destruction.

#include "platform/cpu_budget.h"
#include "app/ui/gallery/gallery_host.h"
#include "app/ui/host/glass_blur.h"
#include "app/ui/host/texture_surface.h"
#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "effects/shader_view.h"
#include "platform/weak_self.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace tavel {

// Whether the gallery shows stills: exactly "1" in HV_STATIC_PREVIEW, read once per
// process.
bool staticPreviewMode();
// The rule itself, for any value of the variable (null: not set).
bool isStaticPreviewValue(const char* value);

struct GalleryPicturesServices {
    ProgramCompiler& compiler;
    FrameRenderer& renderer;
    std::function<double()> clock;  // seconds, monotonic
    LogSink& log;
    std::function<bool()> bindContext;
    // Renders a still of 960x600 at effect time 40 away from the main thread and calls
    // `done` on the main thread with it (none when it failed).
    std::function<void(const ShaderEffect&, const ShaderParams&,
                       std::function<void(std::optional<Image>)> done)>
        renderStill;
    // The scale and frame rate a live picture may draw at when it wishes for full
    // resolution at its slot's rate (the views' CPU budget); empty: as wished.
    std::function<ViewLimits(ViewLimits wish)> budgeted = {};
};

class LiveGalleryPictures final : public GalleryPictures {
public:
    LiveGalleryPictures(GalleryPicturesServices services, bool stillMode);
    ~LiveGalleryPictures() override;

    ImTextureID picture(const std::string& slot, const ShaderEffect& effect,
                        const ShaderParams& params, int fps, int pixelWidth,
                        int pixelHeight) override;
    ImTextureID blurred(const std::string& slot) override;
    // Still mode: the kept still's proportions; live pictures fill their rectangle.
    float aspect(const std::string& slot) const override;

    // Lets go of the slots not asked for since the last call.
    void endFrame();
    // Slots drawing now, and stills kept: for reports and tests.
    std::size_t liveSlots() const { return slots_.size(); }
    std::size_t stills() const { return stills_.size(); }

private:
    struct Slot {
        std::unique_ptr<TextureSurface> surface;
        DrivenFrameTimer* timer = nullptr;  // owned by the view
        std::unique_ptr<ShaderView> view;
        std::string stillId;  // still mode: the effect shown
        GlassBlur blur;
        std::uint64_t blurredFrame = 0;
        unsigned blurredSource = 0;
        bool asked = true;
    };
    struct Still {
        unsigned texture = 0;
        int width = 0, height = 0;
    };
    Slot& slot(const std::string& name);
    ImTextureID still(const ShaderEffect& effect, const ShaderParams& params);
    void stillArrived(const std::string& id, std::optional<Image> image);

    GalleryPicturesServices services_;
    const bool stillMode_;
    std::map<std::string, Slot> slots_;
    std::map<std::string, Still> stills_;
    std::set<std::string> stillsPending_;
    WeakSelf<LiveGalleryPictures> self_{*this};
};

}  // namespace tavel
