#pragma once
// The names that identify Tavel on the system, shared by tavel and halvane.

namespace tavel {

// Names the preferences domain, the session-bus name and the autostart entry.
inline constexpr const char* kAppBundleIdentifier = "io.tavel.Tavel";
// The preferences domain of earlier releases, whose stored settings are taken over once.
inline constexpr const char* kLegacyBundleIdentifier = "io.marlowen.Tavel";
// The key under which the settings JSON is stored.
inline constexpr const char* kSettingsKey = "marlowen.settings.v2";

}  // namespace tavel
