#pragma once
// The virtual drives' configuration: $TONALDA_VDRIVE lists drives separated by ';', each
// "SOURCE[,key=value...]". The README beside this file lists the keys.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonalda::vdrive {

struct ScsiAddress {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    bool operator==(const ScsiAddress&) const = default;
};

struct FailRange {
    int32_t first = 0;
    int32_t last = 0;
    int times = -1;  // reads touching the range that fail; -1 = every one
};

struct DriveConfig {
    std::string item;                    // the item as written, for messages
    std::string source;                  // "none": an empty drive
    std::optional<ScsiAddress> address;  // unset: the next free place
    std::string vendor = "TONALDA";
    std::string product = "Virtual CD-ROM";
    std::string revision = "1.0";
    std::string vendorSpecific = "Virtual drive";
    int jitter = 0;  // bytes
    uint64_t seed = 1;
    std::vector<FailRange> failures;
    std::array<bool, 256> refused{};
    std::array<bool, 256> silent{};
    double speed = 0;  // times real time; 0 = unlimited
    int delayMs = 0;
    bool noDisc = false;
    int deviceType = 5;
    int mediaChangeAt = 0;  // the n-th command reports a changed medium; 0 = never
    bool audioOutput = true;
};

struct DriveList {
    std::vector<DriveConfig> drives;
    std::vector<std::string> errors;  // one message per item that was left out
};

inline constexpr size_t kMaxDrives = 16;

// Parses the whole list. A bad item is reported in `errors`, naming it, and left out; the others
// stay. Addresses are checked for clashes; drives without one get the next free target.
// A backslash escapes the next character (a ',' or ';' in a path).
DriveList parseDriveList(const std::string& text);

}  // namespace tonalda::vdrive
