#include "fullscreen_client.h"

#include "xdg-shell-client-protocol.h"

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace tavel::test {

namespace {

FullscreenClient& clientOf(void* data) {
    return *static_cast<FullscreenClient*>(data);
}

const wl_registry_listener kRegistry = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) { clientOf(data).global(registry, name, interface, version); },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

const wl_output_listener kOutput = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .mode = [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, std::int32_t) {},
    .name = [](void* data, wl_output* output,
               const char* name) { clientOf(data).outputName(output, name); },
    .description = [](void*, wl_output*, const char*) {},
};

const xdg_wm_base_listener kWmBase = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener kXdgSurface = {
    .configure = [](void* data, xdg_surface*,
                    std::uint32_t serial) { clientOf(data).configure(serial); },
};

const xdg_toplevel_listener kToplevel = {
    .configure = [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height,
                    wl_array*) { clientOf(data).toplevelSize(width, height); },
    .close = [](void*, xdg_toplevel*) {},
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

}  // namespace

FullscreenClient::FullscreenClient(const std::string& output) : wanted_(output) {
    display_ = wl_display_connect(nullptr);
    if (!display_) return;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistry, this);
    // Globals, then the outputs' names.
    wl_display_roundtrip(display_);
    wl_display_roundtrip(display_);
    if (!compositor_ || !shm_ || !wmBase_ || !output_) return;
    surface_ = wl_compositor_create_surface(compositor_);
    xdgSurface_ = xdg_wm_base_get_xdg_surface(wmBase_, surface_);
    xdg_surface_add_listener(xdgSurface_, &kXdgSurface, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &kToplevel, this);
    xdg_toplevel_set_title(toplevel_, "cover");
    xdg_toplevel_set_fullscreen(toplevel_, output_);
    wl_surface_commit(surface_);
    wl_display_flush(display_);
}

FullscreenClient::~FullscreenClient() {
    if (!display_) return;
    if (buffer_) wl_buffer_destroy(buffer_);
    if (toplevel_) xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_) xdg_surface_destroy(xdgSurface_);
    if (surface_) wl_surface_destroy(surface_);
    for (int i = 0; i < outputCount_; ++i) wl_output_release(outputs_[i]);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void FullscreenClient::global(wl_registry* registry, std::uint32_t name, const char* interface,
                              std::uint32_t version) {
    std::string_view is = interface;
    if (is == wl_compositor_interface.name)
        compositor_ = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    else if (is == wl_shm_interface.name)
        shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (is == xdg_wm_base_interface.name) {
        wmBase_ =
            static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(wmBase_, &kWmBase, this);
    } else if (is == wl_output_interface.name && version >= 4 && outputCount_ < 8) {
        auto* output =
            static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 4));
        wl_output_add_listener(output, &kOutput, this);
        outputs_[outputCount_++] = output;
    }
}

void FullscreenClient::outputName(wl_output* output, const char* name) {
    if (wanted_ == name) output_ = output;
}

void FullscreenClient::toplevelSize(int width, int height) {
    if (width > 0) width_ = width;
    if (height > 0) height_ = height;
}

void FullscreenClient::configure(std::uint32_t serial) {
    xdg_surface_ack_configure(xdgSurface_, serial);
    configured_ = true;
    draw();
}

void FullscreenClient::draw() {
    int width = std::max(1, width_), height = std::max(1, height_);
    int stride = width * 4, size = stride * height;
    int fd = memfd_create("cover", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels != MAP_FAILED) {
        std::memset(pixels, 0x80, size);
        munmap(pixels, size);
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, size);
    if (buffer_) wl_buffer_destroy(buffer_);
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(surface_, buffer_, 0, 0);
    wl_surface_damage(surface_, 0, 0, width, height);
    wl_surface_commit(surface_);
    shown_ = true;
}

bool FullscreenClient::pump() {
    if (!ok()) return false;
    while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    pollfd ready{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&ready, 1, 0) > 0)
        wl_display_read_events(display_);
    else
        wl_display_cancel_read(display_);
    wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    return shown_;
}

}  // namespace tavel::test
