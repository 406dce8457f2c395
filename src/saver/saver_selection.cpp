#include "saver/saver_selection.h"

#include "platform/app_identity.h"
#include "platform/preferences_store.h"
#include "platform/xdg_paths.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>

namespace tavel {

namespace {

// The part of the stored settings halvane reads. Both keys are optional (null counts
// as missing); a key present with the wrong type makes the whole value undecodable.
struct StoredSettings {
    std::optional<std::string> globalShaderID;
    std::map<std::string, ShaderParams> params;
};

std::optional<StoredSettings> decodeStoredSettings(const std::vector<std::uint8_t>& bytes) {
    try {
        auto object = nlohmann::json::parse(bytes.begin(), bytes.end());
        if (!object.is_object()) return std::nullopt;
        StoredSettings stored;
        if (auto id = object.find("globalShaderID"); id != object.end() && !id->is_null()) {
            if (!id->is_string()) return std::nullopt;
            stored.globalShaderID = id->get<std::string>();
        }
        if (auto params = object.find("params"); params != object.end() && !params->is_null()) {
            if (!params->is_object()) return std::nullopt;
            for (const auto& [id, value] : params->items())
                stored.params.emplace(id, decodeShaderParams(value));
        }
        return stored;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    } catch (const DecodeError&) {
        return std::nullopt;
    }
}

std::filesystem::path flatpakDomain(const char* identifier) {
    // Inside a Flatpak sandbox $XDG_CONFIG_HOME is the container's config folder.
    return homeFolder() / ".var" / "app" / identifier / "config" / identifier;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> storedSettingsData() {
    const char* const identifiers[] = {kAppBundleIdentifier, kLegacyBundleIdentifier};
    for (const char* identifier : identifiers)
        if (auto bytes = FolderPreferencesStore::forDomain(identifier).data(kSettingsKey))
            return bytes;
    for (const char* identifier : identifiers)
        if (auto bytes = FolderPreferencesStore(flatpakDomain(identifier)).data(kSettingsKey))
            return bytes;
    return std::nullopt;
}

SaverSelection selectionFromData(const std::optional<std::vector<std::uint8_t>>& data) {
    if (data) {
        auto stored = decodeStoredSettings(*data);
        if (stored && stored->globalShaderID) {
            if (auto effect = shaderEffect(*stored->globalShaderID)) {
                auto params = stored->params.find(effect->id);
                return {*effect, params != stored->params.end() ? params->second : ShaderParams()};
            }
        }
    }
    // The catalog is never empty; its first effect is the flagship.
    return {allShaders().front(), ShaderParams()};
}

SaverSelection loadSelection() {
    return selectionFromData(storedSettingsData());
}

}  // namespace tavel
