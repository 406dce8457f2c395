#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include "effects/offscreen/offscreen_context.h"

#include <mutex>
#include <vector>

namespace tavel {

namespace {

bool hasExtension(EGLDisplay display, const char* name) {
    return epoxy_has_egl_extension(display, name);
}

EGLDisplay tryInitialize(EGLDisplay display) {
    if (display == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) return EGL_NO_DISPLAY;
    // Needs desktop GL; some displays offer only GLES.
    if (!eglBindAPI(EGL_OPENGL_API)) return EGL_NO_DISPLAY;
    return display;
}

EGLDisplay openDisplay() {
    // eglGetPlatformDisplayEXT rather than the core entry point: libepoxy aborts on
    // the core one before any display exists.
    if (hasExtension(EGL_NO_DISPLAY, "EGL_EXT_platform_base")) {
        if (hasExtension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless")) {
            EGLDisplay d = tryInitialize(eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA,
                                                                  EGL_DEFAULT_DISPLAY, nullptr));
            if (d != EGL_NO_DISPLAY) return d;
        }
        if (hasExtension(EGL_NO_DISPLAY, "EGL_EXT_platform_device") &&
            hasExtension(EGL_NO_DISPLAY, "EGL_EXT_device_enumeration")) {
            EGLint count = 0;
            eglQueryDevicesEXT(0, nullptr, &count);
            std::vector<EGLDeviceEXT> devices(count > 0 ? count : 0);
            if (count > 0 && eglQueryDevicesEXT(count, devices.data(), &count)) {
                for (EGLDeviceEXT device : devices) {
                    EGLDisplay d = tryInitialize(
                        eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, device, nullptr));
                    if (d != EGL_NO_DISPLAY) return d;
                }
            }
        }
    }
    return tryInitialize(eglGetDisplay(EGL_DEFAULT_DISPLAY));
}

EGLDisplay sharedDisplay() {
    static std::once_flag once;
    static EGLDisplay display = EGL_NO_DISPLAY;
    std::call_once(once, [] { display = openDisplay(); });
    return display;
}

const EGLint kContextAttributes[] = {
    EGL_CONTEXT_MAJOR_VERSION,
    3,
    EGL_CONTEXT_MINOR_VERSION,
    3,
    EGL_CONTEXT_OPENGL_PROFILE_MASK,
    EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
    EGL_NONE,
};

}  // namespace

std::unique_ptr<OffscreenContext> OffscreenContext::create() {
    EGLDisplay display = sharedDisplay();
    if (display == EGL_NO_DISPLAY) return nullptr;
    // EGL binds the API per thread; the display was set up on another thread perhaps.
    if (!eglBindAPI(EGL_OPENGL_API)) return nullptr;

    if (hasExtension(display, "EGL_KHR_no_config_context") &&
        hasExtension(display, "EGL_KHR_surfaceless_context")) {
        EGLContext context =
            eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, kContextAttributes);
        if (context != EGL_NO_CONTEXT)
            return std::unique_ptr<OffscreenContext>(
                new OffscreenContext(display, context, EGL_NO_SURFACE));
    }

    // Older drivers: a config with a 1x1 pbuffer to be current on.
    const EGLint configAttributes[] = {
        EGL_SURFACE_TYPE,
        EGL_PBUFFER_BIT,
        EGL_RENDERABLE_TYPE,
        EGL_OPENGL_BIT,
        EGL_RED_SIZE,
        8,
        EGL_GREEN_SIZE,
        8,
        EGL_BLUE_SIZE,
        8,
        EGL_NONE,
    };
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1)
        return nullptr;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, kContextAttributes);
    if (context == EGL_NO_CONTEXT) return nullptr;
    const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, pbufferAttributes);
    if (surface == EGL_NO_SURFACE) {
        eglDestroyContext(display, context);
        return nullptr;
    }
    return std::unique_ptr<OffscreenContext>(new OffscreenContext(display, context, surface));
}

OffscreenContext::~OffscreenContext() {
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    eglDestroyContext(display_, context_);
}

bool OffscreenContext::makeCurrent() {
    if (eglGetCurrentContext() == context_) return true;
    eglBindAPI(EGL_OPENGL_API);
    return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

void OffscreenContext::release() {
    if (eglGetCurrentContext() == context_)
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace tavel
