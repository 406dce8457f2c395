#pragma once
// A menu as com.canonical.dbusmenu presents it: every entry numbered in menu order (the
// root is 0, its first entry 1, a submenu's entries follow their parent), with the item
// properties hosts read ("type", "label", "enabled", "toggle-type", "toggle-state",
// "shortcut", "children-display"). Used by StatusNotifierItem; main thread only.

#include "platform/status_item.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavel {

class DbusMenuLayout {
public:
    using Properties = std::map<std::string, sdbus::Variant>;
    // (id, properties, children), each child a variant holding the same structure.
    using Node = sdbus::Struct<std::int32_t, Properties, std::vector<sdbus::Variant>>;

    DbusMenuLayout() = default;  // the root alone
    explicit DbusMenuLayout(const std::vector<StatusMenuItem>& items);

    // Same entries, text, states and shape (actions are not compared).
    bool sameLook(const DbusMenuLayout& other) const;

    bool contains(std::int32_t id) const;
    // The entry `id` with its children to `depth` levels (-1: all, 0: none), each with the
    // properties named in `names` (empty: all). Throws sdbus::Error for an unknown id.
    Node node(std::int32_t id, std::int32_t depth, const std::vector<std::string>& names) const;
    Properties properties(std::int32_t id, const std::vector<std::string>& names) const;
    // Every id, in menu order.
    std::vector<std::int32_t> ids() const;
    // The action of `id`; empty for entries without one and for unknown ids.
    std::function<void()> action(std::int32_t id) const;

private:
    struct Entry {
        std::string label;
        bool separator = false;
        bool enabled = true;
        int checked = -1;  // -1: no check mark, else 0 or 1
        std::string shortcutKey;
        std::vector<std::int32_t> children;
        std::function<void()> action;

        bool sameLook(const Entry& other) const;
    };

    std::int32_t add(const StatusMenuItem& item);
    const Entry& entry(std::int32_t id) const;

    std::vector<Entry> entries_{Entry{}};  // index = id; entry 0 is the root
};

// The label as dbusmenu shows it: an underscore marks an access key there, so each one
// is doubled to show as itself.
std::string dbusMenuLabel(const std::string& label);

}  // namespace tavel
