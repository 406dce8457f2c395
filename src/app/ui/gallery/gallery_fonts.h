#pragma once
// The typefaces of the gallery. The host rasterises every entry of kGalleryFonts, in
// this order, into the ImGui font atlas (the desktop's UI font through fontconfig, at the
// monitor's scale); the interface picks them with galleryFont(). Tests may fill the atlas
// with any font, as long as there is one per entry in the same order.

#include <imgui.h>

#include <cstddef>

namespace tavel {

enum class FontFace { text, rounded, mono };
enum class FontWeight { regular, medium, semibold, bold };

struct FontSpec {
    FontFace face;
    FontWeight weight;
    float points;
};

inline constexpr FontSpec kGalleryFonts[] = {
    {FontFace::text, FontWeight::regular, 13},  // first: ImGui's default font
    {FontFace::text, FontWeight::regular, 10},     {FontFace::text, FontWeight::regular, 11},
    {FontFace::text, FontWeight::medium, 9},       {FontFace::text, FontWeight::medium, 11},
    {FontFace::text, FontWeight::semibold, 9},     {FontFace::text, FontWeight::semibold, 13},
    {FontFace::text, FontWeight::bold, 13},        {FontFace::rounded, FontWeight::semibold, 12},
    {FontFace::rounded, FontWeight::semibold, 13}, {FontFace::rounded, FontWeight::bold, 21},
    {FontFace::mono, FontWeight::medium, 10},      {FontFace::mono, FontWeight::regular, 12},
};
inline constexpr std::size_t kGalleryFontCount = sizeof(kGalleryFonts) / sizeof(kGalleryFonts[0]);

// The atlas font of that face, weight and size; the default font when the list lacks it.
inline ImFont* galleryFont(FontFace face, FontWeight weight, float points) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    for (std::size_t i = 0; i < kGalleryFontCount && static_cast<int>(i) < atlas->Fonts.Size; ++i)
        if (kGalleryFonts[i].face == face && kGalleryFonts[i].weight == weight &&
            kGalleryFonts[i].points == points)
            return atlas->Fonts[static_cast<int>(i)];
    return ImGui::GetFont();
}

}  // namespace tavel
