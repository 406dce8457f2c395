#pragma once
// What halvane shows: the application's global effect with the parameters the user
// tuned for it, read once from the application's stored settings.

#include "effects/catalog.h"
#include "effects/shader_params.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace tavel {

struct SaverSelection {
    ShaderEffect effect;
    ShaderParams params;
};

// The stored settings, from the first of these places that holds them (a place that
// cannot be read counts as empty): the preferences domains of kAppBundleIdentifier,
// then of kLegacyBundleIdentifier (under $XDG_CONFIG_HOME), then the Flatpak
// containers of the same two identifiers, in that order
// (~/.var/app/<id>/config/<id>/<key>). Nothing when none holds them.
std::optional<std::vector<std::uint8_t>> storedSettingsData();

// The selection those bytes name. Only "globalShaderID" and "params" are read; the
// per-display choices and everything else are ignored. Anything that does not name a
// catalog effect (no data, undecodable JSON, no or an unknown global id) gives the
// first catalog effect with default parameters, never another effect's parameters.
SaverSelection selectionFromData(const std::optional<std::vector<std::uint8_t>>& data);

// Both of the above: what halvane shows, read once at start.
SaverSelection loadSelection();

}  // namespace tavel
