#include <epoxy/gl.h>

#include "app/ui/host/texture_surface.h"

#include <algorithm>

namespace tavel {

unsigned makeTexture(int width, int height, const void* bgra) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, bgra);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

unsigned makeFramebuffer(unsigned texture) {
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) glDeleteFramebuffers(1, &framebuffer);
    return complete ? framebuffer : 0;
}

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
        texture_ = makeTexture(width_, height_);
        framebuffer_ = makeFramebuffer(texture_);
        if (framebuffer_ == 0) {
            release();
            return false;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    return true;
}

void DrivenFrameTimer::start(double framesPerSecond, std::function<void()> tick) {
    tick_ = std::move(tick);
    period_ = framesPerSecond > 0 ? 1.0 / framesPerSecond : 1.0;
    next_ = -1.0;
}

void DrivenFrameTimer::pump(double now) {
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
