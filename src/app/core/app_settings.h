#pragma once
// Every choice of the user that outlives a run, and its stored JSON form.

#include "effects/shader_params.h"

#include <cstdint>
#include <map>
#include <string>

namespace tavel {

struct AppSettings {
    std::string globalShaderID = "halvane";         // effect of every display (or the fallback)
    std::map<std::string, std::string> perDisplay;  // display key -> effect id
    bool sameOnAllDisplays = true;
    std::map<std::string, ShaderParams> params;  // effect id -> the user's parameters
    std::int64_t fps = 30;                       // preferred frames per second
    bool retinaQuality = true;                   // full (1.0) or half (0.5) resolution
    bool pauseOnLowPower = true;
    bool showDockIcon = true;
    // Where the desktop program paints its own opaque desktop over the effect and its
    // icons cannot be shown over the effect: cover that desktop anyway.
    bool coverDesktopIcons = false;
    std::int64_t shuffleMinutes = 0;  // 0 or less: no automatic shuffle
    bool paused = false;
    bool syncLockScreen = true;
    std::int64_t idleAnimateMinutes = 5;  // 0 turns the idle saver off
    bool liveLockVideo = false;

    bool operator==(const AppSettings&) const = default;
};

// All thirteen keys, in field order. Throws EncodeError when a parameter is not finite.
nlohmann::ordered_json encodeAppSettings(const AppSettings& settings);
// Compact UTF-8 JSON text of encodeAppSettings.
std::string encodeAppSettingsText(const AppSettings& settings);

// Every key optional (missing or null = default); a present value of the wrong type,
// anywhere, fails the whole record. Unknown keys are ignored. Throws DecodeError.
AppSettings decodeAppSettings(const nlohmann::json& object);
// Parses and decodes stored bytes; throws DecodeError (also for text that is not JSON).
AppSettings decodeAppSettingsText(std::string_view text);

}  // namespace tavel
