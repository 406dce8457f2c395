// The stored settings record: any bytes under the settings key, loaded as the running
// instance loads them at start. A record that decodes must store again as itself and
// start the application; one that does not is kept untouched, with a copy, while the
// defaults run.

#include "app/core/settings_loader.h"
#include "fuzz/faked_app.h"
#include "fuzz/fuzz_support.h"
#include "platform/app_identity.h"

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    fuzz::FakedApp app;
    app.store.values[kSettingsKey] = bytes;
    LoadedSettings loaded = loadSettings(app.store, {}, app.log);
    FUZZ_CHECK(app.store.values[kSettingsKey] == bytes);
    if (loaded.undecodable) {
        FUZZ_CHECK(loaded.settings == AppSettings());
        FUZZ_CHECK(app.store.values[std::string(kSettingsKey) + ".undecodable"] == bytes);
        return 0;
    }
    FUZZ_CHECK(decodeAppSettingsText(encodeAppSettingsText(loaded.settings)) == loaded.settings);
    // Every value the record can hold reaches the views, the timers and the integrations.
    AppState& state = app.start();
    state.shuffleNow();
    app.clock.advance(std::chrono::hours(1));
    return 0;
}
