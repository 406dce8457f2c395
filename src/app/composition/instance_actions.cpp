#include "app/composition/instance_actions.h"

#include <algorithm>

namespace tavel {

Result<void> setEffectAction(AppState& state, const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.size() > 2)
        return Failure{"set needs an effect id and at most one display"};
    const std::string& id = arguments[0];
    if (!shaderEffect(id)) return Failure{"unknown effect '" + id + "'"};
    std::string target = kAllDisplays;
    if (arguments.size() == 2) {
        target = arguments[1];
        const auto& displays = state.displays();
        bool listed = std::any_of(displays.begin(), displays.end(),
                                  [&](const DisplayInfo& d) { return d.key == target; });
        if (!listed) return Failure{"no display '" + target + "' (see 'tavel status')"};
    }
    state.setSelectedDisplayTarget(target);
    state.setShader(id);
    return {};
}

void setPausedAction(AppState& state, bool paused) {
    state.updateSettings([paused](AppSettings& s) { s.paused = paused; });
}

}  // namespace tavel
