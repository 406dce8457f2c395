#pragma once
// Reads the stored settings once at start: the application's own domain, else a
// one-time takeover from the legacy domain, else the defaults.

#include "app/core/app_settings.h"
#include "effects/log_sink.h"
#include "platform/preferences_store.h"

#include <functional>
#include <memory>

namespace tavel {

// Opens the legacy preferences domain; nothing when it cannot be opened.
using PreferencesOpener = std::function<std::unique_ptr<PreferencesStore>()>;

struct LoadedSettings {
    AppSettings settings;
    // A stored value existed but could not be decoded (`error` says why); the defaults
    // were used.
    bool undecodable = false;
    std::string error;
    // Where its copy was kept ("" when no copy was needed or it could not be made).
    std::string keptCopy;
};

// What the settings are, reading and never writing: the value under the settings key in
// `standard`, else the legacy domain's, decoded; the defaults when there is none or it
// cannot be decoded. For readers such as the command line.
LoadedSettings readSettings(const PreferencesStore& standard, const PreferencesOpener& openLegacy);

// The running instance's loading steps:
// 1. the value under the settings key in `standard`;
// 2. if none, the same key of the legacy domain, copied into `standard` and used;
// 3. decoded; 4. on no value or a decoding failure, the default record.
// An undecodable value stays untouched; a copy of it is kept beside it under
// "<key>.undecodable" (once per distinct value) and one log line names the copy, so the
// next change, which overwrites the value, cannot cost the user their settings.
LoadedSettings loadSettings(PreferencesStore& standard, const PreferencesOpener& openLegacy,
                            LogSink& log);

// The opener of the legacy domain under $XDG_CONFIG_HOME.
PreferencesOpener legacyDomainOpener();

}  // namespace tavel
