#include "ui/selected_drive.h"

#include <cstring>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"

namespace tonalda::ui {

CdDriveList engineDrives() {
    CdDriveList drives;
    std::memset(&drives, 0, sizeof drives);
    drives.capacity = sizeof drives.drives / sizeof drives.drives[0];
    CdEngine& engine = cdEngine();
    if (engine.initCdEngine())
        engine.enumCdDrives(drives);
    return drives;
}

std::string selectedDriveDescription() {
    return driveDescription(engineDrives(), cdRomSettings().unit);
}

}  // namespace tonalda::ui
