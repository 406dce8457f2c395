#include <epoxy/gl.h>

#include "app/ui/host/texture_surface.h"

#include <algorithm>

namespace tavel {

TextureSurface::TextureSurface(std::function<bool()> bindContext)
    : bindContext_(std::move(bindContext)) {}

TextureSurface::~TextureSurface() {
    if (texture_ != 0 && bindContext_()) release();
}

void TextureSurface::release() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (texture_ != 0) glDeleteTextures(1, &texture_);
    framebuffer_ = texture_ = 0;
}

void TextureSurface::resize(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == width_ && height == height_) return;
    if (texture_ != 0 && bindContext_()) release();
    width_ = width;
    height_ = height;
}

bool TextureSurface::makeCurrent() {
    if (!bindContext_()) return false;
    if (texture_ == 0) {
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (!complete) {
            release();
            return false;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    return true;
}

void PacedFrameTimer::start(double framesPerSecond, std::function<void()> tick) {
    tick_ = std::move(tick);
    period_ = framesPerSecond > 0 ? 1.0 / framesPerSecond : 1.0;
    next_ = -1.0;
}

void PacedFrameTimer::pump(double now) {
    if (!tick_) return;
    // A few milliseconds early still counts: the gallery's own frames jitter, and a
    // picture at the gallery's rate must not drop to every other frame.
    constexpr double kSlack = 0.004;
    if (next_ >= 0 && now + kSlack < next_) return;
    next_ = (next_ < 0 || now - next_ > period_) ? now + period_ : next_ + period_;
    auto tick = tick_;  // the tick may restart or stop the timer
    tick();
}

}  // namespace tavel
