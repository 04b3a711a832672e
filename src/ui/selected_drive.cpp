#include "ui/selected_drive.h"

#include <cstring>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"

namespace tonalda::ui {

std::string selectedDriveDescription() {
    CdEngine& engine = cdEngine();
    if (!engine.initCdEngine())
        return {};
    CdDriveList drives;
    std::memset(&drives, 0, sizeof drives);
    drives.capacity = 8;
    engine.enumCdDrives(drives);
    return driveDescription(drives, cdRomSettings().unit);
}

}  // namespace tonalda::ui
