#pragma once
// Another program's window for the tests: a plain grey xdg toplevel made fullscreen on
// one output, on a connection of its own. The test pumps its events from its loop.

#include <cstdint>
#include <string>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;

namespace tavel::test {

class FullscreenClient {
public:
    // Connects to $WAYLAND_DISPLAY and asks for a fullscreen window on the output named
    // `output`; ok() says whether that worked.
    explicit FullscreenClient(const std::string& output);
    ~FullscreenClient();
    FullscreenClient(const FullscreenClient&) = delete;
    FullscreenClient& operator=(const FullscreenClient&) = delete;

    bool ok() const { return display_ && surface_; }
    // Reads and handles what the compositor sent, without waiting; draws its buffer at
    // the configured size. True once it has shown a frame.
    bool pump();

    // Called by the listeners.
    void global(wl_registry* registry, std::uint32_t name, const char* interface,
                std::uint32_t version);
    void outputName(wl_output* output, const char* name);
    void configure(std::uint32_t serial);
    void toplevelSize(int width, int height);
    xdg_wm_base* wmBase() const { return wmBase_; }

private:
    void draw();

    std::string wanted_;
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* wmBase_ = nullptr;
    wl_output* outputs_[8] = {};
    int outputCount_ = 0;
    wl_output* output_ = nullptr;
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    int width_ = 0, height_ = 0;
    bool configured_ = false, shown_ = false;
};

}  // namespace tavel::test
