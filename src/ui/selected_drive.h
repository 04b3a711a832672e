#pragma once
// The drive the CD-ROM settings choose, as the status area names it while nothing plays.

#include <string>

namespace tonalda::ui {

// Starts the CD engine when it has not started yet, lists the drives and gives vendor + " " +
// product of the one at the CD-ROM settings' unit position; empty when there is no such drive.
// Thread: the user interface thread.
std::string selectedDriveDescription();

}  // namespace tonalda::ui
