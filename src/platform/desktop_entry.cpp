#include "platform/desktop_entry.h"

#include <algorithm>
#include <fstream>

namespace tavel {

std::optional<std::map<std::string, std::string>> readDesktopEntry(
    const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) return std::nullopt;
    return parseDesktopEntry(in);
}

std::optional<std::map<std::string, std::string>> parseDesktopEntry(std::istream& in) {
    std::map<std::string, std::string> keys;
    bool inEntry = false, seen = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            seen |= inEntry;
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos) continue;
        auto trim = [](std::string text) {
            text.erase(0, text.find_first_not_of(" \t"));
            text.erase(text.find_last_not_of(" \t") + 1);
            return text;
        };
        std::string key = trim(line.substr(0, equals));
        if (key.find('[') != std::string::npos) continue;  // a localised value
        keys[key] = trim(line.substr(equals + 1));
    }
    if (!seen) return std::nullopt;
    return keys;
}

std::string execWord(std::string_view program) {
    auto plain = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' ||
               c == '-' || c == '+';
    };
    if (!program.empty() && std::all_of(program.begin(), program.end(), plain))
        return std::string(program);
    std::string word = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') word += '\\';
        word += c;
    }
    return word + "\"";
}

}  // namespace tavel
