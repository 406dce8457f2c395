#pragma once
// Stored preferences: a domain holds keys, each with a data or Bool value.
//
// The file-backed domain is the folder $XDG_CONFIG_HOME/<domain>/; a key is a file of
// that name holding the value's raw bytes (data) or the text true/false (Bool). Every
// write replaces the file atomically with mode 0600 (a key file that is a symbolic link
// is written through to its target).

#include "platform/result.h"
#include "platform/text_bytes.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavel {

class PreferencesStore {
public:
    virtual ~PreferencesStore() = default;

    // The value stored under `key`, or nothing when there is none (or it can't be read).
    virtual std::optional<std::vector<std::uint8_t>> data(std::string_view key) const = 0;
    // Replaces the value; a failed write leaves the previous value in place.
    virtual Result<void> setData(std::string_view key, std::span<const std::uint8_t> bytes) = 0;
    // Where the value of `key` lives, for messages to the user.
    virtual std::string describe(std::string_view key) const = 0;

    // A Bool value: the data "true" or "false"; anything else reads as nothing.
    std::optional<bool> boolValue(std::string_view key) const;
    Result<void> setBool(std::string_view key, bool value);
};

class FolderPreferencesStore final : public PreferencesStore {
public:
    explicit FolderPreferencesStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

    // The application's own domain, and any named domain, under $XDG_CONFIG_HOME.
    static FolderPreferencesStore forDomain(std::string_view domain);

    std::optional<std::vector<std::uint8_t>> data(std::string_view key) const override;
    Result<void> setData(std::string_view key, std::span<const std::uint8_t> bytes) override;
    std::string describe(std::string_view key) const override;

    // True when the domain's folder exists (a domain can be "opened").
    bool exists() const;
    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// True for names usable as keys (and domains): a plain file name, no path separators,
// not hidden, not empty.
bool isValidPreferenceName(std::string_view name);
// The failure of a write under a name that is not.
Failure invalidKey(std::string_view key);

}  // namespace tavel
