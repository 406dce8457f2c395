#pragma once
// An X pixmap as a GL texture (GLX_EXT_texture_from_pixmap), for drawing what another
// client's window shows. With the context current (main thread); the texture follows the
// pixmap's content from each refresh() on.

#include <X11/Xlib.h>

#include <memory>

namespace tavel {

class GlxContext;

class GlxPixmapTexture {
public:
    // Nothing when the server or driver cannot bind a pixmap of `depth` (24: RGB, 32:
    // RGBA) as a texture, or the pixmap is gone.
    static std::unique_ptr<GlxPixmapTexture> create(GlxContext& context, Pixmap pixmap, int depth);
    ~GlxPixmapTexture();
    GlxPixmapTexture(const GlxPixmapTexture&) = delete;
    GlxPixmapTexture& operator=(const GlxPixmapTexture&) = delete;

    // Binds the pixmap's content as it is now to the texture (software drivers copy it
    // here: call after the pixmap changed, not every frame).
    void refresh();
    unsigned texture() const { return texture_; }
    // Row 0 of the texture is the pixmap's top row.
    bool topRowFirst() const { return yInverted_; }
    // Whether the server supports it at all (GLX_EXT_texture_from_pixmap).
    static bool supported(GlxContext& context);

private:
    GlxPixmapTexture(Display* display, unsigned long glxPixmap, unsigned texture, bool yInverted)
        : display_(display), glxPixmap_(glxPixmap), texture_(texture), yInverted_(yInverted) {}

    Display* display_;
    unsigned long glxPixmap_;
    unsigned texture_;
    bool yInverted_;
    bool bound_ = false;
};

}  // namespace tavel
