#include "platform/profile.h"

#include <algorithm>
#include <climits>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/ini_document.h"
#include "platform/user_dirs.h"

namespace tonalda::profile {
namespace {

// A bare file name lives in the config folder, as the platform's profile functions place it.
std::filesystem::path resolve(const std::filesystem::path& file) {
    return file.has_parent_path() ? file : configFolder() / file;
}

std::optional<std::string> lookUp(const std::filesystem::path& file, std::string_view section,
                                  std::string_view key) {
    const FileContents contents = readWholeFile(resolve(file));
    if (contents.status != FileContents::Status::Read)
        return std::nullopt;
    return IniDocument::parse(contents.bytes).find(section, key);
}

// One lock per folder serialises the writers of every profile in it.
std::filesystem::path lockFileFor(const std::filesystem::path& file) {
    return file.parent_path() / ".tonalda-profile.lock";
}

}  // namespace

std::string readString(const std::filesystem::path& file, std::string_view section,
                       std::string_view key, std::string_view def) {
    if (auto value = lookUp(file, section, key))
        return std::move(*value);
    // The default loses its trailing blanks, so the customary one-blank default reads as empty.
    while (!def.empty() && def.back() == ' ')
        def.remove_suffix(1);
    return std::string(def);
}

int readInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
            int def) {
    const std::optional<std::string> value = lookUp(file, section, key);
    if (!value)
        return def;
    std::string_view digits = *value;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    long long number = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            break;
        number = std::min<long long>(number * 10 + (c - '0'), 1LL + INT_MAX);
    }
    if (negative)
        number = -number;
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value) {
    const ProfileEntry entry{std::string(section), std::string(key), std::string(value)};
    return writeStrings(file, std::span(&entry, 1));
}

bool writeStrings(const std::filesystem::path& file, std::span<const ProfileEntry> entries) {
    const std::filesystem::path target = replacementTarget(resolve(file));
    if (!file.has_parent_path()) {
        std::error_code ignored;
        std::filesystem::create_directories(target.parent_path(), ignored);
    }
    std::string error;
    const std::optional<FileLock> lock = FileLock::acquire(lockFileFor(target), error);
    if (!lock)
        return false;
    removeStaleTemporaries(target);
    const FileContents contents = readWholeFile(target);
    if (contents.status == FileContents::Status::Failed)
        return false;
    IniDocument document = IniDocument::parse(contents.bytes);
    for (const ProfileEntry& entry : entries)
        if (!document.set(entry.section, entry.key, entry.value))
            return false;
    return replaceFileAtomically(target, document.text(), 0666, true, error);
}

std::filesystem::path configFolder() {
    return xdgConfigHome() / "tonalda";
}

}  // namespace tonalda::profile
