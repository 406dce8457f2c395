#include "app/ui/tray/status_menu.h"

#include "effects/catalog.h"

#include <utility>

namespace tavel {

namespace {

StatusMenuItem command(std::string label, std::string key, std::function<void()> action) {
    StatusMenuItem item;
    item.label = std::move(label);
    item.shortcutKey = std::move(key);
    item.action = std::move(action);
    return item;
}

StatusMenuItem separator() {
    StatusMenuItem item;
    item.separator = true;
    return item;
}

}  // namespace

std::vector<StatusMenuItem> buildStatusMenu(AppState& state, const StatusMenuCallbacks& callbacks) {
    const AppSettings& settings = state.settings();
    std::vector<StatusMenuItem> menu;
    menu.push_back(command("Open Tavel\u2026", "o", callbacks.openGallery));
    menu.push_back(separator());
    for (const ShaderCategory& category : shaderLibrary()) {
        StatusMenuItem submenu;
        submenu.label = category.name;
        for (const ShaderEffect& effect : category.effects) {
            StatusMenuItem item =
                command(effect.name, "", [&state, id = effect.id] { pickShader(state, id); });
            // Only a choice made for all displays is shown: per display, nothing is checked.
            item.checked = settings.sameOnAllDisplays && settings.globalShaderID == effect.id;
            submenu.children.push_back(std::move(item));
        }
        menu.push_back(std::move(submenu));
    }
    menu.push_back(separator());
    menu.push_back(command("Shuffle Now", "s", [&state] { state.shuffleNow(); }));
    // The user's own choice only: views stopped for low power or sleep still read "Pause".
    menu.push_back(
        command(settings.paused ? "Resume" : "Pause", "p", [&state] { state.togglePaused(); }));
    menu.push_back(separator());
    menu.push_back(command("Quit Tavel", "q", callbacks.quit));
    return menu;
}

void pickShader(AppState& state, const std::string& id) {
    state.updateSettings([](AppSettings& s) { s.sameOnAllDisplays = true; });
    state.updateSettings([](AppSettings& s) { s.perDisplay.clear(); });
    state.updateSettings([&id](AppSettings& s) { s.globalShaderID = id; });
}

}  // namespace tavel
