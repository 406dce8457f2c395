#include "platform/preferences_store.h"

#include "platform/atomic_file.h"
#include "platform/xdg_paths.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace tavel {

bool isValidPreferenceName(std::string_view name) {
    // Hidden names are reserved for the temporary files of atomic writes.
    return !name.empty() && name.front() != '.' && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

Failure invalidKey(std::string_view key) {
    return {"invalid preference key \"" + std::string(key) + "\""};
}

std::optional<bool> PreferencesStore::boolValue(std::string_view key) const {
    auto bytes = data(key);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text == "true") return true;
    if (text == "false") return false;
    return std::nullopt;
}

Result<void> PreferencesStore::setBool(std::string_view key, bool value) {
    std::string_view text = value ? "true" : "false";
    return setData(key, textBytes(text));
}

FolderPreferencesStore FolderPreferencesStore::forDomain(std::string_view domain) {
    return FolderPreferencesStore(xdgConfigHome() / std::string(domain));
}

std::optional<std::vector<std::uint8_t>> FolderPreferencesStore::data(std::string_view key) const {
    if (!isValidPreferenceName(key)) return std::nullopt;
    std::filesystem::path path = folder_ / std::string(key);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

Result<void> FolderPreferencesStore::setData(std::string_view key,
                                             std::span<const std::uint8_t> bytes) {
    if (!isValidPreferenceName(key)) return invalidKey(key);
    std::error_code error;
    // A folder made here is private to the user, like the values in it.
    if (std::filesystem::create_directories(folder_, error))
        std::filesystem::permissions(folder_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    if (error) return Failure{"cannot create " + folder_.string() + ": " + error.message()};
    return writeFileAtomically(folder_ / std::string(key), bytes, 0600);
}

std::string FolderPreferencesStore::describe(std::string_view key) const {
    return (folder_ / std::string(key)).string();
}

bool FolderPreferencesStore::exists() const {
    std::error_code error;
    return std::filesystem::is_directory(folder_, error);
}

}  // namespace tavel
