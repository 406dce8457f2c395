#include "platform/dbus/dbus_menu_layout.h"

#include <utility>

namespace tavel {

namespace {

constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";

bool wanted(const std::vector<std::string>& names, const char* name) {
    if (names.empty()) return true;
    for (const std::string& n : names)
        if (n == name) return true;
    return false;
}

}  // namespace

std::string dbusMenuLabel(const std::string& label) {
    std::string shown;
    shown.reserve(label.size());
    for (char c : label) {
        shown += c;
        if (c == '_') shown += '_';
    }
    return shown;
}

bool DbusMenuLayout::Entry::sameLook(const Entry& other) const {
    return label == other.label && separator == other.separator && enabled == other.enabled &&
           checked == other.checked && shortcutKey == other.shortcutKey &&
           children == other.children;
}

DbusMenuLayout::DbusMenuLayout(const std::vector<StatusMenuItem>& items) {
    std::vector<std::int32_t> top;
    for (const StatusMenuItem& item : items) top.push_back(add(item));
    entries_[0].children = std::move(top);
}

std::int32_t DbusMenuLayout::add(const StatusMenuItem& item) {
    const auto id = static_cast<std::int32_t>(entries_.size());
    Entry entry;
    entry.separator = item.separator;
    if (!item.separator) {
        entry.label = item.label;
        entry.enabled = item.enabled;
        entry.checked = item.checked ? int(*item.checked) : -1;
        entry.shortcutKey = item.shortcutKey;
        entry.action = item.action;
    }
    entries_.push_back(std::move(entry));
    if (item.separator) return id;
    std::vector<std::int32_t> children;
    for (const StatusMenuItem& child : item.children) children.push_back(add(child));
    entries_[id].children = std::move(children);  // `entries_` may have grown meanwhile
    return id;
}

bool DbusMenuLayout::sameLook(const DbusMenuLayout& other) const {
    if (entries_.size() != other.entries_.size()) return false;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (!entries_[i].sameLook(other.entries_[i])) return false;
    return true;
}

bool DbusMenuLayout::contains(std::int32_t id) const {
    return id >= 0 && static_cast<std::size_t>(id) < entries_.size();
}

const DbusMenuLayout::Entry& DbusMenuLayout::entry(std::int32_t id) const {
    if (!contains(id)) throw sdbus::Error(kInvalidArgs, "No menu item " + std::to_string(id));
    return entries_[static_cast<std::size_t>(id)];
}

DbusMenuLayout::Properties DbusMenuLayout::properties(std::int32_t id,
                                                      const std::vector<std::string>& names) const {
    const Entry& e = entry(id);
    Properties properties;
    auto set = [&](const char* name, auto value) {
        if (wanted(names, name)) properties.emplace(name, sdbus::Variant(value));
    };
    if (e.separator) {
        set("type", std::string("separator"));
        return properties;
    }
    if (id != 0) {
        set("label", dbusMenuLabel(e.label));
        set("enabled", e.enabled);
    }
    if (e.checked >= 0) {
        set("toggle-type", std::string("checkmark"));
        set("toggle-state", std::int32_t{e.checked});
    }
    if (!e.shortcutKey.empty())
        set("shortcut", std::vector<std::vector<std::string>>{{"Control", e.shortcutKey}});
    if (!e.children.empty() || id == 0) set("children-display", std::string("submenu"));
    return properties;
}

DbusMenuLayout::Node DbusMenuLayout::node(std::int32_t id, std::int32_t depth,
                                          const std::vector<std::string>& names) const {
    const Entry& e = entry(id);
    std::vector<sdbus::Variant> children;
    if (depth != 0)
        for (std::int32_t child : e.children)
            children.emplace_back(node(child, depth < 0 ? depth : depth - 1, names));
    return Node{id, properties(id, names), std::move(children)};
}

std::vector<std::int32_t> DbusMenuLayout::ids() const {
    std::vector<std::int32_t> all;
    for (std::size_t i = 0; i < entries_.size(); ++i) all.push_back(static_cast<std::int32_t>(i));
    return all;
}

std::function<void()> DbusMenuLayout::action(std::int32_t id) const {
    return contains(id) ? entries_[static_cast<std::size_t>(id)].action : nullptr;
}

}  // namespace tavel
