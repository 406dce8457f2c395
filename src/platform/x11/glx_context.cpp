#include <epoxy/glx.h>

#include "platform/x11/glx_context.h"

#include "platform/gl_thread_binding.h"
#include "platform/x11/x11_error_catch.h"

#include <atomic>
#include <vector>

namespace tavel {

namespace {

// Unbinds the calling thread's GLX context, whichever it is: the thread goes to EGL.
void releaseGlx() {
    if (Display* display = glXGetCurrentDisplay())
        glXMakeContextCurrent(display, None, None, nullptr);
}

GLXContext createCoreContext(Display* display, GLXFBConfig config, GLXContext share) {
    const int attributes[] = {
        GLX_CONTEXT_MAJOR_VERSION_ARB,
        3,
        GLX_CONTEXT_MINOR_VERSION_ARB,
        3,
        GLX_CONTEXT_PROFILE_MASK_ARB,
        GLX_CONTEXT_CORE_PROFILE_BIT_ARB,
        None,
    };
    // GLX reports refused configs, contexts and drawables as protocol errors.
    X11ErrorCatch trap(display);
    GLXContext context = glXCreateContextAttribsARB(display, config, share, True, attributes);
    if (trap.take() && context) {
        glXDestroyContext(display, context);
        context = nullptr;
    }
    return context;
}

struct ChosenConfig {
    GLXFBConfig config = nullptr;
    XVisualInfo* visual = nullptr;  // XFree it
};

// An RGBA8 double-buffered window config. Preferred: the config of `forVisual` when
// given, then one whose X visual has the wanted depth (that visual's, else the screen's
// default: a 32-bit visual would make a compositor blend the window with what is behind
// it), then one with an alpha channel, then one that can also make pbuffers (for the
// compile thread's fallback).
ChosenConfig chooseConfig(Display* display, int screen, VisualID forVisual) {
    int wantedDepth = DefaultDepth(display, screen);
    if (forVisual != 0) {
        XVisualInfo pattern{};
        pattern.visualid = forVisual;
        int count = 0;
        if (XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &pattern, &count)) {
            wantedDepth = info->depth;
            XFree(info);
        }
    }
    ChosenConfig best;
    int bestScore = -1;
    for (int alpha : {8, 0}) {
        const int attributes[] = {
            GLX_X_RENDERABLE,
            True,
            GLX_DRAWABLE_TYPE,
            GLX_WINDOW_BIT,
            GLX_RENDER_TYPE,
            GLX_RGBA_BIT,
            GLX_X_VISUAL_TYPE,
            GLX_TRUE_COLOR,
            GLX_RED_SIZE,
            8,
            GLX_GREEN_SIZE,
            8,
            GLX_BLUE_SIZE,
            8,
            GLX_ALPHA_SIZE,
            alpha,
            GLX_DOUBLEBUFFER,
            True,
            None,
        };
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
        if (!configs) continue;
        for (int i = 0; i < count; ++i) {
            XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[i]);
            if (!visual) continue;
            int drawables = 0;
            glXGetFBConfigAttrib(display, configs[i], GLX_DRAWABLE_TYPE, &drawables);
            int score = (forVisual != 0 && visual->visualid == forVisual ? 8 : 0) +
                        (visual->depth == wantedDepth ? 4 : 0) + (alpha > 0 ? 2 : 0) +
                        ((drawables & GLX_PBUFFER_BIT) ? 1 : 0);
            if (score > bestScore) {
                if (best.visual) XFree(best.visual);
                best = ChosenConfig{configs[i], visual};
                bestScore = score;
            } else {
                XFree(visual);
            }
        }
        XFree(configs);
    }
    return best;
}

// GL_RENDERER of `context`, bound for the moment without a drawable where the driver
// allows it (core contexts of GL 3.0 and later may be), else on a 1x1 pbuffer; empty
// when neither binds. Whatever was bound on this thread is bound again afterwards.
std::string readRenderer(Display* display, GLXFBConfig config, GLXContext context) {
    Display* previousDisplay = glXGetCurrentDisplay();
    GLXContext previous = glXGetCurrentContext();
    GLXDrawable previousDraw = glXGetCurrentDrawable();
    GLXDrawable previousRead = glXGetCurrentReadDrawable();
    GLXPbuffer pbuffer = None;
    bool bound = false;
    takeGlBinding(&releaseGlx);
    {
        X11ErrorCatch trap(display);
        bound = glXMakeContextCurrent(display, None, None, context) && !trap.take();
    }
    if (!bound) {
        const int attributes[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
        X11ErrorCatch trap(display);
        pbuffer = glXCreatePbuffer(display, config, attributes);
        bound = pbuffer != None && !trap.take() &&
                glXMakeContextCurrent(display, pbuffer, pbuffer, context) && !trap.take();
    }
    std::string name;
    if (bound) {
        if (const GLubyte* text = glGetString(GL_RENDERER))
            name = reinterpret_cast<const char*>(text);
    }
    if (previous && previousDisplay)
        glXMakeContextCurrent(previousDisplay, previousDraw, previousRead, previous);
    else
        glXMakeContextCurrent(display, None, None, nullptr);
    if (pbuffer != None) glXDestroyPbuffer(display, pbuffer);
    return name;
}

}  // namespace

Result<std::unique_ptr<GlxContext>> GlxContext::create(Display* display, int screen,
                                                       VisualID forVisual) {
    auto fail = [](const char* reason) { return Failure{reason}; };
    int major = 0, minor = 0;
    if (!glXQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 3))
        return fail("the display has no GLX 1.3");
    if (!epoxy_has_glx_extension(display, screen, "GLX_ARB_create_context") ||
        !epoxy_has_glx_extension(display, screen, "GLX_ARB_create_context_profile"))
        return fail("GLX cannot create OpenGL core contexts");
    ChosenConfig chosen = chooseConfig(display, screen, forVisual);
    if (!chosen.config) return fail("no RGBA8 double-buffered GLX window config");
    GLXContext context = createCoreContext(display, chosen.config, nullptr);
    if (!context) {
        XFree(chosen.visual);
        return fail("no OpenGL 3.3 core context");
    }
    std::unique_ptr<GlxContext> result(new GlxContext());
    result->display_ = display;
    result->screen_ = screen;
    result->config_ = chosen.config;
    result->context_ = context;
    result->visual_ = chosen.visual->visual;
    result->depth_ = chosen.visual->depth;
    XFree(chosen.visual);
    result->swapControlExt_ = epoxy_has_glx_extension(display, screen, "GLX_EXT_swap_control");
    result->swapControlMesa_ = epoxy_has_glx_extension(display, screen, "GLX_MESA_swap_control");
    result->renderer_ = readRenderer(display, chosen.config, context);
    return result;
}

GlxContext::~GlxContext() {
    if (glXGetCurrentContext() == static_cast<GLXContext>(context_))
        glXMakeContextCurrent(display_, None, None, nullptr);
    for (unsigned long drawable : drawables_) glXDestroyWindow(display_, drawable);
    glXDestroyContext(display_, static_cast<GLXContext>(context_));
}

unsigned long GlxContext::createDrawable(Window window) {
    GLXWindow drawable = None;
    {
        X11ErrorCatch trap(display_);
        drawable = glXCreateWindow(display_, static_cast<GLXFBConfig>(config_), window, nullptr);
        if (trap.take()) drawable = None;
    }
    if (drawable == None) return None;
    drawables_.insert(drawable);
    if (swapControlExt_) {
        glXSwapIntervalEXT(display_, drawable, 0);
    } else if (swapControlMesa_ && makeCurrent(drawable)) {
        glXSwapIntervalMESA(0);
    }
    return drawable;
}

void GlxContext::destroyDrawable(unsigned long drawable) {
    if (drawables_.erase(drawable) == 0) return;
    if (current_ == drawable) {
        glXMakeContextCurrent(display_, None, None, nullptr);
        current_ = None;
    }
    glXDestroyWindow(display_, drawable);
}

bool GlxContext::makeCurrent(unsigned long drawable) {
    if (!drawables_.count(drawable)) return false;
    if (current_ == drawable && glXGetCurrentContext() == static_cast<GLXContext>(context_))
        return true;
    takeGlBinding(&releaseGlx);
    if (!glXMakeContextCurrent(display_, drawable, drawable, static_cast<GLXContext>(context_))) {
        current_ = None;
        return false;
    }
    current_ = drawable;
    // A driver that bound the context neither without a drawable nor on a pbuffer names
    // its renderer now.
    if (renderer_.empty()) {
        if (const GLubyte* text = glGetString(GL_RENDERER))
            renderer_ = reinterpret_cast<const char*>(text);
    }
    return true;
}

void GlxContext::swapBuffers(unsigned long drawable) {
    if (drawables_.count(drawable)) glXSwapBuffers(display_, drawable);
}

std::unique_ptr<GlxSharedContext> GlxContext::createShared() {
    auto config = static_cast<GLXFBConfig>(config_);
    GLXContext shared = createCoreContext(display_, config, static_cast<GLXContext>(context_));
    if (!shared) return nullptr;

    // Whether the driver binds it with no drawable at all (core contexts of GL 3.0 and
    // later may be); tried here, where X errors can be caught, not on its thread.
    GLXPbuffer pbuffer = None;
    bool bound = false;
    takeGlBinding(&releaseGlx);
    {
        X11ErrorCatch trap(display_);
        bound = glXMakeContextCurrent(display_, None, None, shared) && !trap.take();
    }
    if (!bound) {
        const int attributes[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
        X11ErrorCatch trap(display_);
        pbuffer = glXCreatePbuffer(display_, config, attributes);
        bound = pbuffer != None && !trap.take() &&
                glXMakeContextCurrent(display_, pbuffer, pbuffer, shared) && !trap.take();
    }
    // Give the main thread its binding back.
    glXMakeContextCurrent(display_, current_, current_,
                          current_ != None ? static_cast<GLXContext>(context_) : nullptr);
    if (!bound) {
        if (pbuffer != None) glXDestroyPbuffer(display_, pbuffer);
        glXDestroyContext(display_, shared);
        return nullptr;
    }
    return std::unique_ptr<GlxSharedContext>(new GlxSharedContext(display_, shared, pbuffer));
}

GlxSharedContext::~GlxSharedContext() {
    glXDestroyContext(display_, static_cast<GLXContext>(context_));
    if (pbuffer_ != None) glXDestroyPbuffer(display_, pbuffer_);
}

bool GlxSharedContext::makeCurrent() {
    takeGlBinding(&releaseGlx);
    return glXMakeContextCurrent(display_, pbuffer_, pbuffer_, static_cast<GLXContext>(context_));
}

void GlxSharedContext::release() {
    glXMakeContextCurrent(display_, None, None, nullptr);
}

}  // namespace tavel
