// One effect's stored parameters (a value of the settings' "params"), from any JSON text.
// What decodes stores again as the same record, has colours of at least the three
// components their readers take, and makes uniforms for every effect.

#include "effects/catalog.h"
#include "effects/shader_params.h"
#include "effects/uniforms.h"
#include "fuzz/fuzz_support.h"

using namespace tavel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    ShaderParams params;
    try {
        params = decodeShaderParams(json);
    } catch (const DecodeError&) {
        return 0;
    }
    FUZZ_CHECK(!params.bg || params.bg->size() >= 3);
    FUZZ_CHECK(!params.accent || params.accent->size() >= 3);
    auto stored = nlohmann::json::parse(encodeShaderParams(params).dump());
    FUZZ_CHECK(decodeShaderParams(stored) == params);
    for (const ShaderEffect& effect : allShaders())
        makeUniforms(&effect, params, 40.0f, 1920, 1080);
    return 0;
}
