#pragma once
// The engine's drives as the main window and the Options sheet show them.

#include <string>

#include "cdaccess/cd_types.h"

namespace tonalda::ui {

// Starts the CD engine when it has not started yet and lists its drives (virtual ones included);
// an empty list when the engine cannot start. Thread: the user interface thread.
CdDriveList engineDrives();

// Vendor + " " + product of the drive at the CD-ROM settings' unit position, for the status area;
// empty when there is no such drive. Thread: the user interface thread.
std::string selectedDriveDescription();

}  // namespace tonalda::ui
