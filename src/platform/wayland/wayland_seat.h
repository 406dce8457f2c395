#pragma once
// The compositor's first seat: its pointer and keyboard, with input on chosen surfaces
// reported to their handlers. Main thread only.

#include <cstdint>
#include <functional>
#include <map>

struct wl_keyboard;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_surface;

namespace tavel {

class WaylandSeat {
public:
    WaylandSeat() = default;
    ~WaylandSeat();
    WaylandSeat(const WaylandSeat&) = delete;
    WaylandSeat& operator=(const WaylandSeat&) = delete;

    // The registry announced a seat or took one away; only the first seat is used.
    void add(wl_registry* registry, std::uint32_t name, std::uint32_t version);
    bool remove(std::uint32_t name);

    // Null while the compositor offers no seat.
    wl_seat* seat() const { return seat_; }
    // Whether the seat has a keyboard now (the compositor adds and removes it as
    // devices come and go).
    bool hasKeyboard() const { return keyboard_ != nullptr; }

    // `handler` runs for each key press, button press, scroll and pointer motion on
    // `surface` (a key while the surface has the keyboard focus). Empty removes it.
    void setInputHandler(wl_surface* surface, std::function<void()> handler);

    // Called by the listeners.
    void capabilities(std::uint32_t caps);
    void keyboardFocus(wl_surface* surface) { keyboardFocus_ = surface; }
    void pointerFocus(wl_surface* surface) { pointerFocus_ = surface; }
    void input(wl_surface* surface);

private:
    void release();

    std::uint32_t name_ = 0;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    wl_surface* keyboardFocus_ = nullptr;
    wl_surface* pointerFocus_ = nullptr;
    std::map<wl_surface*, std::function<void()>> handlers_;

    friend struct SeatListeners;
};

}  // namespace tavel
