#pragma once
// Desktop entry files (the freedesktop.org format of autostart and application
// entries): just what the application needs to read and write its own.

#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tavel {

// The keys of the [Desktop Entry] group; nothing when the file is missing, unreadable or
// has no such group. Other groups, comments and localised keys are skipped.
std::optional<std::map<std::string, std::string>> readDesktopEntry(
    const std::filesystem::path& file);
// The same from the entry's text, read to its end; nothing when it has no such group.
std::optional<std::map<std::string, std::string>> parseDesktopEntry(std::istream& in);

// `program` as the first word of an Exec line: quoted, with the characters the format
// reserves inside quotes escaped, whenever it holds anything but plain path characters.
std::string execWord(std::string_view program);

}  // namespace tavel
