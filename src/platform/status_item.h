#pragma once
// What a status bar item shows, as plain data: its menu and its icon. The application
// builds these; the D-Bus side (platform/dbus/status_notifier_item.h) publishes them.
// No D-Bus header here, so menu builders and their tests need no bus.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavel {

// One entry of the menu. A separator ignores every other field.
struct StatusMenuItem {
    std::string label;  // shown as is (no mnemonics)
    bool separator = false;
    bool enabled = true;
    std::optional<bool> checked;           // none: the item has no check mark at all
    std::string shortcutKey;               // "o" shows as Control+O; empty: no shortcut
    std::vector<StatusMenuItem> children;  // not empty: the item opens this submenu
    std::function<void()> action;          // run when chosen; may be empty
};

// One size of the icon: ARGB32 with straight alpha, rows top first, each pixel four bytes
// A, R, G, B (network byte order), as status bar hosts read them.
struct StatusIconPixmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> argb;
};

}  // namespace tavel
