#pragma once
// Private-profile (INI) files: sections of "key=value" lines. Section and key names compare
// without regard to case. A write keeps every other line of the file, comments included, and
// reaches the disk atomically, under a lock shared by the writers of the folder's profiles.
// Blanks around keys and values are not part of them. A file given by its bare name
// ("cdplayer.ini") lives in configFolder().

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tonalda::profile {

// Thread: any, for all of these; writers in other threads and processes are serialised.

// The value of key in section, or def when the file, section or key is missing.
// A default of one blank (" ") reads as empty.
std::string readString(const std::filesystem::path& file, std::string_view section,
                       std::string_view key, std::string_view def);
// The leading decimal number of the value (optional sign), def when missing; a value that does
// not start with a number reads as 0.
int readInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
            int def);
// Writes key=value into section, creating the file and the section when missing (and the config
// folder for a bare name; other folders must exist). Line breaks in the value become blanks.
// False when the file cannot be written or a name cannot be stored (empty, line breaks, "]" in a
// section, "=" in a key).
bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                 std::string_view value);

struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};
// Writes every entry as writeString does, in one replacement of the file: a reader or a crash sees
// all of them or none. False, with the file untouched, when any of them cannot be written.
bool writeStrings(const std::filesystem::path& file, std::span<const ProfileEntry> entries);

// The program's config folder: $XDG_CONFIG_HOME/tonalda (~/.config/tonalda).
std::filesystem::path configFolder();

}  // namespace tonalda::profile
