#include "app/cli/cli_session.h"

#include <cstring>
#include <string>

#include "app/cli/cli_console.h"
#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/local_library.h"
#include "cdinfo/misc_settings.h"
#include "platform/registry.h"
#include "codecs/output_settings.h"
#include "rip/settings_groups.h"

namespace tonalda::cli {

int loadSettingsGroups(Console& console) {
    int failed = 0;
    for (const bool loaded : tonalda::loadSettingsGroups()) {
        if (!loaded) {
            console.err(kInitializationError);
            ++failed;
        }
    }
    return failed;
}

DriveSession::DriveSession(Console& console) : console_(console) {}

DriveSession::~DriveSession() = default;

bool DriveSession::findDrives() {
    CdEngine& engine = cdEngine();
    if (!engine.initCdEngine()) {
        console_.err("The drive sessions could not be set up (shared memory).");
        return false;
    }
    std::memset(&drives_, 0, sizeof drives_);
    drives_.capacity = 8;
    engine.enumCdDrives(drives_);
    if (drives_.count == 0) {
        console_.err(engine.getLastCdError() == kCdErrNoAdapter ? "No SCSI adapter found."
                                                                : "No CD-ROM drive found.");
        return false;
    }
    return true;
}

bool DriveSession::openDisc() {
    const CdRomSettings& settings = cdRomSettings();
    if (settings.unit < 0 || settings.unit >= drives_.count) {
        console_.err("There is no drive " + std::to_string(settings.unit) + " (drives 0 to " +
                     std::to_string(drives_.count - 1) + ").");
        return false;
    }
    list_ = std::make_unique<TrackList>(cdEngine());
    const int ready = list_->rebuild(drives_, settings, outputSettings().format);
    if (ready == 0) {
        console_.err(kInsertDiscMessage);
        return false;
    }
    if (ready < 0) {
        console_.err(kDriveErrorText);
        return false;
    }
    // The rip view reads the library at start-up; here only an existing entry is read, so that
    // looking at a disc leaves no file behind.
    if (miscSettings().autoRead != 0) {
        const std::uint32_t key = computePlayerKey(cdEngine(), handle());
        if (std::filesystem::exists(libraryFilePath(libraryFolder(), key))) {
            ConsolePrompter prompter(console_);
            auto view = discView(prompter);
            readLocalLibrary(*view, libraryFolder());
            takeFromView(*view);
        }
    }
    return true;
}

std::unique_ptr<HeadlessDiscView> DriveSession::discView(Prompter& prompter) {
    auto view = std::make_unique<HeadlessDiscView>(list_->msfToc(), list_->rowCount(), prompter,
                                                   driveIdentityReader(cdEngine(), handle()),
                                                   drivePlayerKeyReader(cdEngine(), handle()));
    for (int row = 0; row < list_->rowCount(); ++row) {
        view->updateRowTag(row, [&](TagInfo& tag) { tag = list_->item(row).tag; });
        view->setTitle(row, list_->columnText(row, kColumnTitle));
    }
    return view;
}

void DriveSession::takeFromView(const HeadlessDiscView& view) {
    const auto titles = view.titles();
    for (int row = 0; row < list_->rowCount() && row < view.rowCount(); ++row) {
        list_->item(row).tag = view.rowTag(row);
        list_->setColumnText(row, kColumnTitle, titles[static_cast<std::size_t>(row)]);
    }
}

std::filesystem::path DriveSession::libraryFolder() const {
    return miscSettings().cddbPath;
}

}  // namespace tonalda::cli
