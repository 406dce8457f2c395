#include "app/ui/host/lazy_gallery.h"

namespace tavel {

LazyGallery::LazyGallery(Scheduler& scheduler, LogSink& log, bool possible, Factory factory,
                         std::function<void()> release, Duration releaseAfter)
    : scheduler_(scheduler),
      log_(log),
      factory_(std::move(factory)),
      release_(std::move(release)),
      possible_(possible),
      releaseAfter_(releaseAfter) {}

LazyGallery::~LazyGallery() {
    self_.reset();
    releaseTimer_.cancel();
    window_.reset();
}

bool LazyGallery::make() {
    if (window_) return true;
    Result<std::unique_ptr<GalleryWindow>> made = factory_();
    if (!made) {
        if (made.why() != lastWhy_)
            log_.write("Tavel: the gallery window is unavailable: " + made.why());
        lastWhy_ = made.why();
        if (release_) release_();
        return false;
    }
    window_ = std::move(*made);
    lastWhy_.clear();
    window_->setActivationPolicy(policy_);
    window_->onHidden = self_.guard([](LazyGallery& gallery) { gallery.hidden(); });
    return true;
}

void LazyGallery::hidden() {
    // Released only once it has stayed hidden: a window shown again keeps what it has.
    releaseTimer_ = scheduler_.scheduleOnce(releaseAfter_, self_.guard([](LazyGallery& gallery) {
        if (!gallery.window_ || gallery.window_->shown()) return;
        gallery.window_.reset();
        if (gallery.release_) gallery.release_();
    }));
}

void LazyGallery::show() {
    releaseTimer_.cancel();
    if (make()) window_->show();
}

void LazyGallery::showGuide() {
    releaseTimer_.cancel();
    if (make()) window_->showGuide();
}

std::string LazyGallery::state() const {
    if (!window_) return possible_ && lastWhy_.empty() ? "hidden" : "unavailable";
    if (!window_->shown()) return "hidden";
    if (window_->minimised()) return "minimised";
    return "shown, " + std::to_string(window_->framesDrawn()) + " frames";
}

void LazyGallery::setActivationPolicy(ActivationPolicy policy) {
    policy_ = policy;
    if (window_) window_->setActivationPolicy(policy);
}

void LazyGallery::activate() {
    if (window_) window_->activate();
}

}  // namespace tavel
