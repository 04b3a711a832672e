#include "app/cli/cli_session.h"

#include <string>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/misc_settings.h"
#include "platform/registry.h"

namespace tonalda::cli {

int loadSettingsGroups(Console& console) {
    return DiscSession::loadSettingsGroups(
        Registry::instance(), [&](std::string_view) { console.err(kInitializationError); });
}

DriveSession::DriveSession(Console& console)
    : console_(console),
      prompter_(console),
      session_(cdEngine(), Registry::instance(), prompter_, events_) {}

bool DriveSession::findDrives() {
    switch (session_.startEngine()) {
        case DriveSearch::Found:
            return true;
        case DriveSearch::NoSharedMemory:
            console_.err("The drive sessions could not be set up (shared memory).");
            return false;
        case DriveSearch::NoAdapter:
            console_.err("No SCSI adapter found.");
            return false;
        case DriveSearch::NoDrive:
            console_.err("No CD-ROM drive found.");
            return false;
    }
    return false;
}

bool DriveSession::openDisc() {
    const int unit = cdRomSettings().unit;
    const int count = session_.drives().count;
    if (unit < 0 || unit >= count) {
        console_.err("There is no drive " + std::to_string(unit) + " (drives 0 to " +
                     std::to_string(count - 1) + ").");
        return false;
    }
    const int ready = session_.rebuild();
    if (ready == 0) {
        console_.err(kInsertDiscMessage);
        return false;
    }
    if (ready < 0) {
        console_.err(kDriveErrorText);
        return false;
    }
    if (miscSettings().autoRead != 0)
        session_.readLibrary(false);
    return true;
}

}  // namespace tonalda::cli
