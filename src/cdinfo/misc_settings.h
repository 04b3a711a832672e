#pragma once
// The "Misc" settings group: the preferred CD interface (shown only), the temporary and local CD
// library folders, the first view, and when the table of contents and the library are read and
// saved by themselves.

#include <cstdint>
#include <string>
#include <string_view>

namespace tonalda {

class Registry;

inline constexpr std::string_view kMiscGroup = "Misc";

struct MiscSettings {
    std::int32_t aspi = 0;        // "ASPI": interface choice, shown only
    std::int32_t autoDetect = 0;  // "AutoDetect": interface choice, shown only
    std::int32_t passthru = 0;    // "Passthru": interface choice, shown only
    std::int32_t toc = 0;         // "TOC": read the table of contents when the rip view is set up
    std::int32_t autoRead = 0;    // "AutoRead": read the disc's library file then too
    std::int32_t autoSave = 0;    // "AutoSave": save to the library without asking on close
    std::int32_t initEnc = 0;     // "InitEnc": the convert view first (shown only)
    std::int32_t initRipper = 0;  // "InitRipper": non-zero shows the rip view first
    std::string tempPath;         // "Temppath": folder of the rip jobs' temporary files
    std::string cddbPath;         // "CDDBpath": local CD library folder

    // Reads the numbers in the group's order; the first that is missing ends the load with false,
    // leaving the later values as they were. A missing folder value is skipped.
    // Thread: the user interface thread.
    bool load(Registry& registry);

    // Writes the group into the existing key (the numbers as 0 or 1, the folders without a
    // terminating NUL) and reads it back. A missing key writes nothing and gives false.
    // Thread: the user interface thread.
    bool save(Registry& registry);

    bool operator==(const MiscSettings&) const = default;
};

// The record loaded at start-up and shared by the views and jobs.
MiscSettings& miscSettings();

}  // namespace tonalda
