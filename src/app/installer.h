#pragma once
// The installer's work: every settings group with its default values, written into the hive.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

namespace tonalda {

class Registry;

struct DefaultValue {
    std::string group;  // key below the program's root: "MP3", "CDRom", ...
    std::string name;
    std::variant<std::uint32_t, std::string> value;  // a DWORD or a string
};

// Where this installation and this user keep things.
struct InstallPlace {
    std::filesystem::path installFolder;  // <prefix>/lib/tonalda
    std::filesystem::path home;
    std::filesystem::path cacheHome;  // XDG
    std::filesystem::path dataHome;   // XDG
    std::string email;                // user@host of the person installing
    // This machine and user, with the install folder found beside the running program.
    static InstallPlace current();
};

// Every value of the eight groups, in group order.
std::vector<DefaultValue> defaultSettings(const InstallPlace& place);

struct InstallReport {
    int written = 0;
    int kept = 0;
    bool ok = true;
};

// Creates the keys and writes the defaults. Without reset a value that exists with the right type
// keeps its contents; a missing value or one of the wrong type is written. Then creates the
// folders that the Output and Misc groups name. Problems go to errors.
InstallReport install(Registry& registry, const std::vector<DefaultValue>& defaults, bool reset,
                      std::ostream& errors);

}  // namespace tonalda
