#pragma once
// The status bar icon as pixels, for hosts that take pixmaps: the Logo.png that an
// installation carries (the gallery's title shows it too), or else our own symbol, a white ring
// whose left half is filled, outlined in dark grey so that it reads on light and dark panels alike,
// on transparent. Hosts pick the size nearest their panel's, so every size in kTrayIconSizes is
// offered. (Hosts that take the icon's name draw the installed symbolic icon in their own colour.)

#include "effects/log_sink.h"
#include "effects/offscreen/image.h"
#include "platform/status_item.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace tavel {

inline constexpr int kTrayIconSizes[] = {16, 22, 24, 32, 48};

// The symbol at size × size (size > 0), with an antialiased edge.
StatusIconPixmap traySymbol(int size);

// `image` fitted into size × size with its proportions kept, centred on transparent, each
// pixel the alpha-weighted average of the source area it covers.
Image fittedImage(const Image& image, int size);
// The same as a tray pixmap.
StatusIconPixmap trayImage(const Image& image, int size);

// Where Logo.png is looked for, in order: the installed data folder
// (<programFolder>/../share/tavel/) and then beside the program.
std::vector<std::filesystem::path> trayLogoCandidates(const std::filesystem::path& programFolder);

// The first of the candidates that decodes; each one there that cannot be decoded is one
// log line. None: the symbol stands in.
std::optional<Image> findLogo(const std::filesystem::path& programFolder, LogSink& log);
// The same, for the running program's folder.
std::optional<Image> findLogo(LogSink& log);

// The icon at every size of kTrayIconSizes: from `logo`, else the symbol.
std::vector<StatusIconPixmap> trayIcons(const std::optional<Image>& logo);
// The same from findLogo(programFolder, log).
std::vector<StatusIconPixmap> trayIcons(const std::filesystem::path& programFolder, LogSink& log);

}  // namespace tavel
