#include <epoxy/gl.h>

#include "app/ui/host/gallery_pictures.h"

#include <cstdlib>
#include <cstring>

namespace tavel {

namespace {

ImTextureID asTexture(unsigned texture) {
    return reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(texture));
}

}  // namespace

bool isStaticPreviewValue(const char* value) {
    return value != nullptr && std::strcmp(value, "1") == 0;
}

bool staticPreviewMode() {
    static const bool mode = isStaticPreviewValue(std::getenv("HV_STATIC_PREVIEW"));
    return mode;
}

LiveGalleryPictures::LiveGalleryPictures(GalleryPicturesServices services, bool stillMode)
    : services_(std::move(services)), stillMode_(stillMode) {}

LiveGalleryPictures::~LiveGalleryPictures() {
    self_.reset();
    slots_.clear();  // views before their surfaces, inside each slot
    if (!stills_.empty() && services_.bindContext())
        for (auto& [id, still] : stills_) glDeleteTextures(1, &still.texture);
}

LiveGalleryPictures::Slot& LiveGalleryPictures::slot(const std::string& name) {
    auto found = slots_.find(name);
    if (found != slots_.end()) {
        found->second.asked = true;
        return found->second;
    }
    Slot& made = slots_[name];
    if (stillMode_) return made;
    made.surface = std::make_unique<TextureSurface>(services_.bindContext);
    auto timer = std::make_unique<DrivenFrameTimer>();
    made.timer = timer.get();
    made.view = std::make_unique<ShaderView>(
        1.0, 1.0,
        ShaderViewServices{services_.compiler, services_.renderer, std::move(timer),
                           services_.clock, randomStartTime, services_.log});
    return made;
}

ImTextureID LiveGalleryPictures::picture(const std::string& name, const ShaderEffect& effect,
                                         const ShaderParams& params, int fps, int pixelWidth,
                                         int pixelHeight) {
    Slot& s = slot(name);
    if (stillMode_) {
        s.stillId = effect.id;
        return still(effect, params);
    }
    ShaderView& view = *s.view;
    // Previews draw at full resolution whatever the desktop's quality, lowered only by
    // the CPU budget that all on-screen views share.
    const ViewLimits wish{1.0, fps};
    const ViewLimits limits = services_.budgeted ? services_.budgeted(wish) : wish;
    view.setPreferredFramesPerSecond(limits.fps);
    view.setQualityScale(limits.scale);
    view.setEffect(effect);
    view.setParams(params);
    if (s.surface->pixelWidth() != pixelWidth || s.surface->pixelHeight() != pixelHeight) {
        s.surface->resize(pixelWidth, pixelHeight);
        view.setFrameSize(s.surface->pixelWidth(), s.surface->pixelHeight());
    }
    if (view.isPaused()) view.moveToWindow(s.surface.get(), 1.0, false);
    s.timer->pump(services_.clock());
    return view.framesDrawn() > 0 ? asTexture(s.surface->texture()) : nullptr;
}

ImTextureID LiveGalleryPictures::blurred(const std::string& name) {
    auto found = slots_.find(name);
    if (found == slots_.end()) return nullptr;
    Slot& s = found->second;
    if (stillMode_) {
        auto kept = stills_.find(s.stillId);
        if (kept == stills_.end()) return nullptr;
        if (s.blurredSource != kept->second.texture) {
            s.blurredSource = kept->second.texture;
            s.blur.blur(kept->second.texture, kept->second.width, kept->second.height);
        }
        return asTexture(s.blur.result());
    }
    const std::uint64_t frames = s.view->framesDrawn();
    if (frames == 0) return nullptr;
    if (frames != s.blurredFrame) {
        s.blurredFrame = frames;
        s.blur.blur(s.surface->texture(), s.surface->pixelWidth(), s.surface->pixelHeight());
    }
    return asTexture(s.blur.result());
}

float LiveGalleryPictures::aspect(const std::string& name) const {
    auto found = slots_.find(name);
    if (!stillMode_ || found == slots_.end()) return 0.0f;
    auto kept = stills_.find(found->second.stillId);
    if (kept == stills_.end()) return 0.0f;
    return static_cast<float>(kept->second.width) / static_cast<float>(kept->second.height);
}

void LiveGalleryPictures::endFrame() {
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (it->second.asked) {
            it->second.asked = false;
            ++it;
        } else {
            it = slots_.erase(it);
        }
    }
}

ImTextureID LiveGalleryPictures::still(const ShaderEffect& effect, const ShaderParams& params) {
    // A kept still never follows later edits: one image per effect for the whole run.
    if (auto kept = stills_.find(effect.id); kept != stills_.end())
        return asTexture(kept->second.texture);
    if (!services_.renderStill || !stillsPending_.insert(effect.id).second) return nullptr;
    services_.renderStill(
        effect, params,
        self_.guard([id = effect.id](LiveGalleryPictures& self, std::optional<Image> image) {
            self.stillArrived(id, std::move(image));
        }));
    return nullptr;
}

void LiveGalleryPictures::stillArrived(const std::string& id, std::optional<Image> image) {
    stillsPending_.erase(id);  // a failure is tried again at the next request
    if (!image || image->width < 1 || image->height < 1 || !services_.bindContext()) return;
    Still kept{makeTexture(image->width, image->height, image->bgra.data()), image->width,
               image->height};
    stills_[id] = kept;
}

}  // namespace tavel
