// The stored settings as halvane reads them: any bytes. halvane always shows a catalog
// effect, and wherever the application itself reads the record as naming a catalog
// effect, halvane shows that effect with the parameters tuned for it.

#include "app/core/app_settings.h"
#include "fuzz/fuzz_support.h"
#include "saver/saver_selection.h"

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    SaverSelection selection = selectionFromData(bytes);
    FUZZ_CHECK(shaderEffect(selection.effect.id).has_value());
    FUZZ_CHECK(!selection.params.bg || selection.params.bg->size() >= 3);
    FUZZ_CHECK(!selection.params.accent || selection.params.accent->size() >= 3);

    AppSettings settings;
    try {
        settings =
            decodeAppSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const DecodeError&) {
        return 0;
    }
    if (!shaderEffect(settings.globalShaderID)) return 0;
    FUZZ_CHECK(selection.effect.id == settings.globalShaderID);
    auto tuned = settings.params.find(settings.globalShaderID);
    FUZZ_CHECK(selection.params ==
               (tuned != settings.params.end() ? tuned->second : ShaderParams()));
    return 0;
}
