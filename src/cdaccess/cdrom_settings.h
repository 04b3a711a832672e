#pragma once
// The "CDRom" settings group: which drive, its read speed, the audio block size and the jitter
// correction parameters.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tonalda {

class CdEngine;
class Registry;
struct CdDriveList;

struct CdRomSettings {
    std::int32_t type = 0;         // position in the drive-type list; stored and shown only
    std::int32_t unit = 0;         // position of the drive in the enumerated drive list
    std::int32_t speed = 0;        // speed choice 0..6
    std::int32_t blockSize = 0;    // frames per audio read
    std::int32_t jitterCheck = 0;  // frames matched by jitter correction
    std::int32_t overlap = 0;      // frames of overlap in jitter correction
    std::int32_t always = 0;       // 1 = jitter correction always
    std::int32_t onError = 0;      // 1 = jitter correction on error
    std::int32_t never = 0;        // 1 = no jitter correction

    // Reads the group value by value; the first missing value ends the load with false, leaving
    // the values read so far changed and the rest as they were.
    bool load(Registry& registry);
    // Writes the group (the key must exist; nothing is written otherwise) and reads it back.
    bool save(Registry& registry);

    // The extraction reads with jitter correction when "Always" or "On Error" is set.
    bool correctsJitter() const { return always != 0 || onError != 0; }

    bool operator==(const CdRomSettings&) const = default;
};

// Sends the jitter options of the settings to a newly opened session: "Always" sets overlap,
// jitter check and mode 1; "On Error" mode 2, jitter check and overlap; "Never" mode 0. Each is
// applied when set, in this order, so the last one set decides the mode. Thread: any.
void applyJitterOptions(CdEngine& engine, int handle, const CdRomSettings& settings);

// Vendor + " " + product of the drive at position unit of the list (the raw INQUIRY texts);
// empty when there is no such drive.
std::string driveDescription(const CdDriveList& drives, std::int32_t unit);

// The "Unit:" list: one line per enumerated drive, vendor + " " + product + " " + revision + " " +
// vendor-specific text (the raw INQUIRY fields, padding kept), in enumeration order.
std::vector<std::string> driveListLines(const CdDriveList& drives);

// The settings record shared by the program's threads of one process.
CdRomSettings& cdRomSettings();

inline constexpr std::string_view kCdRomGroup = "CDRom";

// The "Speed:" list and the speed in KB/s that each choice sets (choice 6 = the drive's maximum).
inline constexpr std::array<std::string_view, 7> kSpeedChoices = {"1x",  "2x",  "4x",       "8x",
                                                                  "16x", "32x", "Max Speed"};
constexpr std::uint16_t kMaxSpeed = 0xFFFF;
std::uint16_t speedKBps(std::int32_t choice);

// The "Type:" list.
inline constexpr std::array<std::string_view, 19> kDriveTypes = {
    "Auto Detected", "AOPEN", "ASUS",   "IBM",   "Samsung", "SONY",  "Philips",
    "TOSHIBA",       "NEC",   "YAMAHA", "ACER ", "HP",      "Kodak", "Panasonic",
    "Plextor",       "Ricoh", "TEAC",   "Sanyo", "Pioneer"};

}  // namespace tonalda
