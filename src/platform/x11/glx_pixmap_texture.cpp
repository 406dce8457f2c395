#include <epoxy/gl.h>
#include <epoxy/glx.h>

#include "platform/x11/glx_pixmap_texture.h"

#include "platform/x11/glx_context.h"
#include "platform/x11/x11_error_catch.h"

#include <X11/Xutil.h>

namespace tavel {

bool GlxPixmapTexture::supported(GlxContext& context) {
    return epoxy_has_glx_extension(context.display(), context.screen(),
                                   "GLX_EXT_texture_from_pixmap");
}

std::unique_ptr<GlxPixmapTexture> GlxPixmapTexture::create(GlxContext& context, Pixmap pixmap,
                                                           int depth) {
    if (pixmap == None || !supported(context)) return nullptr;
    Display* display = context.display();
    // A 32-bit pixmap binds with its alpha channel, a 24-bit one without.
    const bool alpha = depth == 32;
    const int attributes[] = {alpha ? GLX_BIND_TO_TEXTURE_RGBA_EXT : GLX_BIND_TO_TEXTURE_RGB_EXT,
                              True,
                              GLX_DRAWABLE_TYPE,
                              GLX_PIXMAP_BIT,
                              GLX_BIND_TO_TEXTURE_TARGETS_EXT,
                              GLX_TEXTURE_2D_BIT_EXT,
                              GLX_DOUBLEBUFFER,
                              False,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, context.screen(), attributes, &count);
    GLXFBConfig chosen = nullptr;
    for (int i = 0; i < count && !chosen; ++i) {
        // The config's visual must have the pixmap's depth.
        XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
        if (visual && visual->depth == depth) chosen = configs[i];
        if (visual) XFree(visual);
    }
    int inverted = 0;
    if (chosen) glXGetFBConfigAttrib(display, chosen, GLX_Y_INVERTED_EXT, &inverted);
    if (configs) XFree(configs);
    if (!chosen) return nullptr;

    const int pixmapAttributes[] = {
        GLX_TEXTURE_TARGET_EXT, GLX_TEXTURE_2D_EXT, GLX_TEXTURE_FORMAT_EXT,
        alpha ? GLX_TEXTURE_FORMAT_RGBA_EXT : GLX_TEXTURE_FORMAT_RGB_EXT, None};
    GLXPixmap glxPixmap = None;
    {
        X11ErrorCatch errors(display);  // a pixmap that is gone already
        glxPixmap = glXCreatePixmap(display, chosen, pixmap, pixmapAttributes);
        if (errors.take() && glxPixmap != None) {
            glXDestroyPixmap(display, glxPixmap);
            glxPixmap = None;
        }
    }
    if (glxPixmap == None) return nullptr;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    // Mesa leaves the attribute at GLX_DONT_CARE for textures whose first row is the
    // pixmap's top one.
    return std::unique_ptr<GlxPixmapTexture>(
        new GlxPixmapTexture(display, glxPixmap, texture, inverted != False));
}

GlxPixmapTexture::~GlxPixmapTexture() {
    X11ErrorCatch trap(display_, X11ErrorCatch::windowGone);
    if (bound_) {
        glBindTexture(GL_TEXTURE_2D, texture_);
        glXReleaseTexImageEXT(display_, glxPixmap_, GLX_FRONT_LEFT_EXT);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture_);
    glXDestroyPixmap(display_, glxPixmap_);
}

void GlxPixmapTexture::refresh() {
    // The pixmap of another client's window may go at any moment: its errors are no fault.
    X11ErrorCatch trap(display_, X11ErrorCatch::windowGone);
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (bound_) glXReleaseTexImageEXT(display_, glxPixmap_, GLX_FRONT_LEFT_EXT);
    glXBindTexImageEXT(display_, glxPixmap_, GLX_FRONT_LEFT_EXT, nullptr);
    bound_ = true;
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace tavel
