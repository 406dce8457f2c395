#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include "platform/wayland/egl_context.h"

#include "platform/gl_thread_binding.h"

#include <wayland-egl.h>

#include <vector>

namespace tavel {

namespace {

const EGLint kContextAttributes[] = {
    EGL_CONTEXT_MAJOR_VERSION,
    3,
    EGL_CONTEXT_MINOR_VERSION,
    3,
    EGL_CONTEXT_OPENGL_PROFILE_MASK,
    EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
    EGL_NONE,
};

// No alpha: the compositor then knows the surfaces are opaque and skips what lies below.
const EGLint kConfigAttributes[] = {
    EGL_SURFACE_TYPE,
    EGL_WINDOW_BIT,
    EGL_RENDERABLE_TYPE,
    EGL_OPENGL_BIT,
    EGL_RED_SIZE,
    8,
    EGL_GREEN_SIZE,
    8,
    EGL_BLUE_SIZE,
    8,
    EGL_ALPHA_SIZE,
    0,
    EGL_NONE,
};

EGLDisplay platformDisplay(wl_display* display) {
    // eglGetPlatformDisplayEXT rather than the core entry point: libepoxy aborts on the
    // core one before any display exists.
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_base")) return EGL_NO_DISPLAY;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_wayland") &&
        !epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_KHR_platform_wayland"))
        return EGL_NO_DISPLAY;
    return eglGetPlatformDisplayEXT(EGL_PLATFORM_WAYLAND_EXT, display, nullptr);
}

// A config whose colour channels are exactly 8 bits and that has no alpha, when the
// driver lists one; else the driver's first choice.
EGLConfig chooseConfig(EGLDisplay display) {
    EGLint count = 0;
    if (!eglChooseConfig(display, kConfigAttributes, nullptr, 0, &count) || count < 1)
        return nullptr;
    std::vector<EGLConfig> configs(count);
    eglChooseConfig(display, kConfigAttributes, configs.data(), count, &count);
    for (EGLConfig config : configs) {
        EGLint red = 0, alpha = 0;
        eglGetConfigAttrib(display, config, EGL_RED_SIZE, &red);
        eglGetConfigAttrib(display, config, EGL_ALPHA_SIZE, &alpha);
        if (red == 8 && alpha == 0) return config;
    }
    return configs.front();
}

// Unbinds the calling thread's EGL context, whichever it is: the thread goes to GLX.
void releaseEgl() {
    if (eglGetCurrentContext() != EGL_NO_CONTEXT)
        eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

// GL_RENDERER of `context`, bound for the moment without a surface; empty where the
// display cannot bind one so. Whatever was bound on this thread is bound again after.
std::string readRenderer(EGLDisplay display, EGLContext context) {
    if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context")) return {};
    EGLDisplay previousDisplay = eglGetCurrentDisplay();
    EGLContext previous = eglGetCurrentContext();
    EGLSurface previousDraw = eglGetCurrentSurface(EGL_DRAW);
    EGLSurface previousRead = eglGetCurrentSurface(EGL_READ);
    std::string name;
    takeGlBinding(&releaseEgl);
    if (eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (const GLubyte* text = glGetString(GL_RENDERER))
            name = reinterpret_cast<const char*>(text);
    }
    if (previous != EGL_NO_CONTEXT && previousDisplay != EGL_NO_DISPLAY)
        eglMakeCurrent(previousDisplay, previousDraw, previousRead, previous);
    else
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return name;
}

}  // namespace

Result<std::unique_ptr<EglContext>> EglContext::create(wl_display* wayland) {
    auto fail = [](const char* reason) { return Failure{reason}; };
    EGLDisplay display = platformDisplay(wayland);
    if (display == EGL_NO_DISPLAY) return fail("EGL has no Wayland platform");
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) return fail("EGL refused the Wayland display");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail("EGL offers no desktop OpenGL");
    EGLConfig config = chooseConfig(display);
    if (!config) return fail("no RGB8 window config for OpenGL");
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, kContextAttributes);
    if (context == EGL_NO_CONTEXT) return fail("no OpenGL 3.3 core context");
    std::unique_ptr<EglContext> result(new EglContext());
    result->display_ = display;
    result->config_ = config;
    result->context_ = context;
    result->renderer_ = readRenderer(display, context);
    return result;
}

EglContext::~EglContext() {
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    // EGL keeps one display per wl_display pointer: a later connection at the same
    // address must not find this one, with its proxies on a display that is gone.
    eglTerminate(display_);
}

void* EglContext::createSurface(wl_egl_window* window) {
    EGLSurface surface = eglCreatePlatformWindowSurfaceEXT(display_, config_, window, nullptr);
    return surface == EGL_NO_SURFACE ? nullptr : surface;
}

void EglContext::destroySurface(void* surface) {
    if (!surface) return;
    if (current_ == surface) {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        current_ = nullptr;
    }
    eglDestroySurface(display_, surface);
}

bool EglContext::makeCurrent(void* surface) {
    if (!surface) return false;
    if (current_ == surface && eglGetCurrentContext() == context_) return true;
    takeGlBinding(&releaseEgl);
    if (!eglMakeCurrent(display_, surface, surface, context_)) {
        current_ = nullptr;
        return false;
    }
    bool first = current_ != surface;
    current_ = surface;
    // Without surfaceless binding the renderer is named at the first bound surface.
    if (renderer_.empty()) {
        if (const GLubyte* text = glGetString(GL_RENDERER))
            renderer_ = reinterpret_cast<const char*>(text);
    }
    // Per surface: presenting never waits for the compositor's frame.
    if (first) eglSwapInterval(display_, 0);
    return true;
}

void EglContext::swapBuffers(void* surface) {
    if (surface) eglSwapBuffers(display_, surface);
}

std::unique_ptr<EglSharedContext> EglContext::createShared() {
    if (!epoxy_has_egl_extension(display_, "EGL_KHR_surfaceless_context")) return nullptr;
    EGLContext shared = eglCreateContext(display_, config_, context_, kContextAttributes);
    if (shared == EGL_NO_CONTEXT) return nullptr;
    return std::unique_ptr<EglSharedContext>(new EglSharedContext(display_, shared));
}

EglSharedContext::~EglSharedContext() {
    eglDestroyContext(display_, context_);
}

bool EglSharedContext::makeCurrent() {
    // EGL binds the API per thread.
    eglBindAPI(EGL_OPENGL_API);
    takeGlBinding(&releaseEgl);
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

void EglSharedContext::release() {
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace tavel
