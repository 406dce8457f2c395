#include "platform/wayland/wayland_seat.h"

#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>

namespace tavel {

struct SeatListeners {
    static WaylandSeat& seat(void* data) { return *static_cast<WaylandSeat*>(data); }

    static constexpr wl_seat_listener kSeat = {
        .capabilities = [](void* data, wl_seat*,
                           std::uint32_t caps) { seat(data).capabilities(caps); },
        .name = [](void*, wl_seat*, const char*) {},
    };

    static constexpr wl_pointer_listener kPointer = {
        .enter = [](void* data, wl_pointer*, std::uint32_t, wl_surface* surface, wl_fixed_t,
                    wl_fixed_t) { seat(data).pointerFocus(surface); },
        .leave = [](void* data, wl_pointer*, std::uint32_t,
                    wl_surface*) { seat(data).pointerFocus(nullptr); },
        .motion = [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t,
                     wl_fixed_t) { seat(data).input(seat(data).pointerFocus_); },
        .button =
            [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t,
               std::uint32_t state) {
                if (state == WL_POINTER_BUTTON_STATE_PRESSED)
                    seat(data).input(seat(data).pointerFocus_);
            },
        .axis = [](void* data, wl_pointer*, std::uint32_t, std::uint32_t,
                   wl_fixed_t) { seat(data).input(seat(data).pointerFocus_); },
        .frame = [](void*, wl_pointer*) {},
        .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
        .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
        .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
        .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    };

    static constexpr wl_keyboard_listener kKeyboard = {
        // The keymap's file is ours to close; keys are counted, never interpreted.
        .keymap = [](void*, wl_keyboard*, std::uint32_t, std::int32_t fd,
                     std::uint32_t) { close(fd); },
        .enter = [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface,
                    wl_array*) { seat(data).keyboardFocus(surface); },
        .leave = [](void* data, wl_keyboard*, std::uint32_t,
                    wl_surface*) { seat(data).keyboardFocus(nullptr); },
        .key =
            [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
               std::uint32_t state) {
                if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
                    seat(data).input(seat(data).keyboardFocus_);
            },
        .modifiers = [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t, std::uint32_t) {},
        .repeat_info = [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
    };
};

WaylandSeat::~WaylandSeat() {
    release();
}

void WaylandSeat::add(wl_registry* registry, std::uint32_t name, std::uint32_t version) {
    if (seat_) return;
    name_ = name;
    // Version 5 has release requests and every pointer event we listen to.
    seat_ = static_cast<wl_seat*>(
        wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
    wl_seat_add_listener(seat_, &SeatListeners::kSeat, this);
}

bool WaylandSeat::remove(std::uint32_t name) {
    if (!seat_ || name != name_) return false;
    release();
    return true;
}

void WaylandSeat::release() {
    capabilities(0);
    if (!seat_) return;
    if (wl_seat_get_version(seat_) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(seat_);
    else
        wl_seat_destroy(seat_);
    seat_ = nullptr;
}

void WaylandSeat::capabilities(std::uint32_t caps) {
    bool older = seat_ && wl_seat_get_version(seat_) < WL_POINTER_RELEASE_SINCE_VERSION;
    bool pointer = caps & WL_SEAT_CAPABILITY_POINTER;
    if (pointer && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &SeatListeners::kPointer, this);
    } else if (!pointer && pointer_) {
        older ? wl_pointer_destroy(pointer_) : wl_pointer_release(pointer_);
        pointer_ = nullptr;
        pointerFocus_ = nullptr;
    }
    bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD;
    if (keyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &SeatListeners::kKeyboard, this);
    } else if (!keyboard && keyboard_) {
        older ? wl_keyboard_destroy(keyboard_) : wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
        keyboardFocus_ = nullptr;
    }
}

void WaylandSeat::setInputHandler(wl_surface* surface, std::function<void()> handler) {
    if (handler) {
        handlers_[surface] = std::move(handler);
        return;
    }
    handlers_.erase(surface);
    // A surface destroyed while focused is never left: forget it, so a new surface at
    // the same address does not inherit the focus.
    if (keyboardFocus_ == surface) keyboardFocus_ = nullptr;
    if (pointerFocus_ == surface) pointerFocus_ = nullptr;
}

void WaylandSeat::input(wl_surface* surface) {
    if (!surface) return;
    auto found = handlers_.find(surface);
    if (found == handlers_.end()) return;
    auto handler = found->second;  // a copy: it may remove itself
    handler();
}

}  // namespace tavel
