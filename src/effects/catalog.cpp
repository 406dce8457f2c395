#include "effects/catalog.h"

#include "effects/embedded_programs.h"

namespace tavel {

namespace {

ShaderEffect effect(const char* id, const char* name, std::array<float, 3> bg,
                    std::array<float, 3> accent, CustomSpec slider1, CustomSpec slider2) {
    return ShaderEffect{id, name,
                        EffectDefaults{bg, accent, std::move(slider1), std::move(slider2)},
                        embeddedProgram(id)};
}

std::vector<ShaderCategory> buildLibrary() {
    return {
        {"Texture",
         "water.waves",
         {
             effect("halvane", "Tavel", {0.028f, 0.028f, 0.04f}, {1.0f, 0.6f, 0.22f},
                    {"RISE", {0.35f, 1.2f}, 0.75f}, {"SPREAD", {20.0f, 120.0f}, 68.0f}),
             effect("neontopo", "Neon Terrain", {0.03f, 0.032f, 0.042f}, {0.62f, 1.0f, 0.1f},
                    {"DENSITY", {18.0f, 50.0f}, 34.0f}, {"LAKE", {0.05f, 0.32f}, 0.185f}),
             effect("dotwave", "Dot Weave", {0.006f, 0.006f, 0.008f}, {0.55f, 0.57f, 0.62f},
                    {"DENSITY", {28.0f, 80.0f}, 54.0f}, {"WAVES", {0.4f, 1.3f}, 0.7f}),
             effect("filament", "Filament", {0.014f, 0.008f, 0.006f}, {1.0f, 0.52f, 0.18f},
                    {"STRANDS", {90.0f, 240.0f}, 160.0f}, {"FOLD", {0.1f, 0.42f}, 0.22f}),
             effect("nebulamesh", "Nebula Mesh", {0.01f, 0.024f, 0.03f}, {0.3f, 0.8f, 0.78f},
                    {"RELIEF", {0.3f, 1.4f}, 0.8f}, {"DENSITY", {2.5f, 8.0f}, 5.0f}),
         }},
        {"Pattern",
         "square.grid.3x3.middle.filled",
         {
             effect("tiles", "Onyx Tiles", {0.01f, 0.01f, 0.013f}, {0.86f, 0.9f, 1.0f},
                    {"TILES", {3.0f, 9.0f}, 5.5f}, {"SHEEN", {0.1f, 0.55f}, 0.3f}),
             effect("dome", "Obsidian Dome", {0.0f, 0.0f, 0.0f}, {0.6f, 0.61f, 0.65f},
                    {"TILES", {5.0f, 14.0f}, 9.0f}, {"BULGE", {0.8f, 2.0f}, 1.45f}),
             effect("dothalo", "Dot Halo", {0.07f, 0.12f, 0.3f}, {0.16f, 0.35f, 0.85f},
                    {"DOTS", {24.0f, 64.0f}, 42.0f}, {"RINGS", {4.0f, 14.0f}, 8.5f}),
             effect("glasscubes", "Glass Cubes", {0.004f, 0.007f, 0.008f}, {0.15f, 0.88f, 0.92f},
                    {"CUBES", {3.0f, 8.0f}, 5.0f}, {"LIT", {0.15f, 0.8f}, 0.45f}),
             effect("signalwall", "Signal Wall", {0.01f, 0.011f, 0.013f}, {0.62f, 0.8f, 0.6f},
                    {"GRID", {24.0f, 64.0f}, 40.0f}, {"SIGNALS", {0.1f, 0.55f}, 0.3f}),
         }},
        {"Minimal",
         "grid",
         {
             effect("wiremesh", "Wireframe", {0.004f, 0.004f, 0.005f}, {0.55f, 0.57f, 0.6f},
                    {"DENSITY", {14.0f, 32.0f}, 22.0f}, {"WARP", {0.15f, 0.7f}, 0.4f}),
             effect("orbits", "Orbit", {0.003f, 0.003f, 0.004f}, {0.92f, 0.93f, 0.95f},
                    {"RINGS", {16.0f, 40.0f}, 26.0f}, {"COVERAGE", {0.15f, 0.75f}, 0.52f}),
             effect("horizon", "Horizon", {0.002f, 0.003f, 0.003f}, {0.42f, 0.63f, 0.62f},
                    {"GRID", {6.0f, 16.0f}, 10.0f}, {"PEAKS", {0.06f, 0.3f}, 0.16f}),
             effect("ridges", "Ridgelines", {0.0f, 0.0f, 0.0f}, {0.9f, 0.91f, 0.93f},
                    {"LINES", {12.0f, 34.0f}, 22.0f}, {"HEIGHT", {0.4f, 1.3f}, 0.85f}),
             effect("vortex", "Vortex", {0.003f, 0.003f, 0.004f}, {0.9f, 0.91f, 0.94f},
                    {"RINGS", {14.0f, 32.0f}, 22.0f}, {"SWIRL", {0.8f, 4.5f}, 2.6f}),
             effect("gridtunnel", "Deep Grid", {0.006f, 0.006f, 0.007f}, {0.72f, 0.71f, 0.67f},
                    {"GRID", {2.5f, 6.5f}, 4.0f}, {"DEPTH", {4.0f, 10.0f}, 7.0f}),
         }},
    };
}

}  // namespace

const std::vector<ShaderCategory>& shaderLibrary() {
    // A function-local static is initialised exactly once, safely from any thread.
    static const std::vector<ShaderCategory> library = buildLibrary();
    return library;
}

std::vector<ShaderEffect> allShaders() {
    std::vector<ShaderEffect> all;
    for (const ShaderCategory& category : shaderLibrary())
        all.insert(all.end(), category.effects.begin(), category.effects.end());
    return all;
}

std::optional<ShaderEffect> shaderEffect(std::string_view id) {
    for (const ShaderCategory& category : shaderLibrary())
        for (const ShaderEffect& effect : category.effects)
            if (effect.id == id) return effect;
    return std::nullopt;
}

}  // namespace tavel
