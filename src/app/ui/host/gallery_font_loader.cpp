#include "app/ui/host/gallery_font_loader.h"

#include "app/ui/gallery/gallery_fonts.h"

#include <fontconfig/fontconfig.h>
#include <imgui_freetype.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tavel {

namespace {

// Latin with its supplement, the typographic dashes, quotes and ellipsis, the arrow, the
// multiplication and degree signs the controls print.
const ImWchar kRanges[] = {0x0020, 0x00FF, 0x2013, 0x2026, 0x2190, 0x2192, 0x2212, 0x2212, 0};

struct FontFile {
    std::string path;
    int index = 0;
};

int fontconfigWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return FC_WEIGHT_REGULAR;
        case FontWeight::medium:
            return FC_WEIGHT_MEDIUM;
        case FontWeight::semibold:
            return FC_WEIGHT_DEMIBOLD;
        case FontWeight::bold:
            return FC_WEIGHT_BOLD;
    }
    return FC_WEIGHT_REGULAR;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The file fontconfig picks for `family` at `weight`; with `exact`, only when the
// family it found is the one asked for (so a missing rounded face is noticed).
std::optional<FontFile> match(const char* family, FontWeight weight, bool exact) {
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(),
                                                                    FcPatternDestroy);
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, fontconfigWeight(weight));
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> found(
        FcFontMatch(nullptr, pattern.get(), &result), FcPatternDestroy);
    if (!found) return std::nullopt;
    FcChar8* file = nullptr;
    FcChar8* foundFamily = nullptr;
    int index = 0;
    if (FcPatternGetString(found.get(), FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
    FcPatternGetInteger(found.get(), FC_INDEX, 0, &index);
    if (exact && (FcPatternGetString(found.get(), FC_FAMILY, 0, &foundFamily) != FcResultMatch ||
                  lower(reinterpret_cast<const char*>(foundFamily)) != lower(family)))
        return std::nullopt;
    // Only faces FreeType reads as outlines: a bitmap font would blur when scaled.
    FcBool outline = FcFalse;
    FcPatternGetBool(found.get(), FC_OUTLINE, 0, &outline);
    if (!outline) return std::nullopt;
    return FontFile{reinterpret_cast<const char*>(file), index};
}

std::optional<FontFile> resolve(FontFace face, FontWeight weight) {
    if (face == FontFace::rounded) {
        for (const char* family : {"Nunito", "Quicksand", "Varela Round", "M PLUS Rounded 1c"})
            if (auto file = match(family, weight, true)) return file;
    }
    return match(face == FontFace::mono ? "monospace" : "sans-serif", weight, false);
}

}  // namespace

bool loadGalleryFonts(ImFontAtlas& atlas, float scale, LogSink& log) {
    if (!FcInit()) log.write("Tavel: fontconfig could not start; the gallery uses a plain font");
    atlas.FontBuilderIO = ImGuiFreeType::GetBuilderForFreeType();
    atlas.FontBuilderFlags = ImGuiFreeTypeBuilderFlags_LightHinting;
    std::map<std::pair<FontFace, FontWeight>, std::optional<FontFile>> files;
    bool complete = true;
    for (const FontSpec& wanted : kGalleryFonts) {
        auto key = std::make_pair(wanted.face, wanted.weight);
        if (!files.count(key)) files[key] = resolve(wanted.face, wanted.weight);
        ImFontConfig config;
        config.SizePixels = wanted.points * scale;
        config.OversampleH = config.OversampleV = 1;
        if (const auto& file = files[key]) {
            config.FontNo = file->index;
            if (atlas.AddFontFromFileTTF(file->path.c_str(), config.SizePixels, &config, kRanges))
                continue;
        }
        complete = false;
        atlas.AddFontDefault(&config);
    }
    if (!complete)
        log.write(
            "Tavel: no outline font found through fontconfig; the gallery "
            "uses a plain font");
    return complete;
}

}  // namespace tavel
