#include "app/core/settings_loader.h"

#include "platform/app_identity.h"

namespace tavel {

namespace {

// Keeps `bytes` under the first free (or identical) copy key; returns its location.
std::string keepCopy(PreferencesStore& store, const std::vector<std::uint8_t>& bytes,
                     std::string& failure) {
    const std::string base = std::string(kSettingsKey) + ".undecodable";
    for (int n = 1; n <= 100; ++n) {
        std::string key = n == 1 ? base : base + "-" + std::to_string(n);
        auto existing = store.data(key);
        if (existing && *existing == bytes) return {};  // kept on an earlier start
        if (existing) continue;                         // an older, different copy: keep it
        const Result<void> stored = store.setData(key, bytes);
        failure = stored.why();
        return stored ? store.describe(key) : std::string();
    }
    failure = "too many kept copies";
    return {};
}

// Decodes `bytes` into `loaded`; false when they cannot be decoded.
bool decodeInto(const std::vector<std::uint8_t>& bytes, LoadedSettings& loaded) {
    try {
        loaded.settings = decodeAppSettingsText(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return true;
    } catch (const DecodeError& error) {
        loaded.undecodable = true;
        loaded.error = error.what();
        return false;
    }
}

}  // namespace

LoadedSettings readSettings(const PreferencesStore& standard, const PreferencesOpener& openLegacy) {
    LoadedSettings loaded;
    auto bytes = standard.data(kSettingsKey);
    if (!bytes && openLegacy)
        if (auto legacy = openLegacy()) bytes = legacy->data(kSettingsKey);
    if (bytes) decodeInto(*bytes, loaded);
    return loaded;
}

LoadedSettings loadSettings(PreferencesStore& standard, const PreferencesOpener& openLegacy,
                            LogSink& log) {
    LoadedSettings loaded;
    auto bytes = standard.data(kSettingsKey);
    if (!bytes && openLegacy) {
        if (auto legacy = openLegacy()) {
            bytes = legacy->data(kSettingsKey);
            // A failed copy is not fatal: the value is still used for this run.
            if (bytes) static_cast<void>(standard.setData(kSettingsKey, *bytes));
        }
    }
    if (!bytes || decodeInto(*bytes, loaded)) return loaded;

    std::string failure;
    loaded.keptCopy = keepCopy(standard, *bytes, failure);
    if (!loaded.keptCopy.empty())
        log.write("Tavel: stored settings could not be read (" + loaded.error +
                  "); using defaults, a copy is kept in " + loaded.keptCopy);
    else if (!failure.empty())
        log.write("Tavel: stored settings could not be read (" + loaded.error +
                  "); using defaults, and no copy could be kept: " + failure);
    return loaded;
}

PreferencesOpener legacyDomainOpener() {
    return []() -> std::unique_ptr<PreferencesStore> {
        auto store = std::make_unique<FolderPreferencesStore>(
            FolderPreferencesStore::forDomain(kLegacyBundleIdentifier));
        if (!store->exists()) return nullptr;
        return store;
    };
}

}  // namespace tavel
