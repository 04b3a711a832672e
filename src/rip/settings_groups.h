#pragma once
// The start-up load of every settings group into its process-wide record, shared by the desktop
// program and tonalda-cli.

#include <array>
#include <string_view>

namespace tonalda {

// What a front end shows once for each group that did not load.
inline constexpr std::string_view kInitializationError =
    "Initialization error!\n\nPlease reinstall Tonalda again!";

inline constexpr int kSettingsGroupCount = 7;

// Loads MP3, FreeDB, Output, WMA, OGG, CD-ROM and Misc, in that order, from the program's hive
// (Registry::instance()). Every group is tried; the result says, in the same order, which loaded.
// A group that failed keeps zeros where its values could not be read.
// Thread: the user interface thread, before any job runs.
std::array<bool, kSettingsGroupCount> loadSettingsGroups();

}  // namespace tonalda
