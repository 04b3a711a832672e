#pragma once
// What every drive command of tonalda-cli starts with, as the main window and the rip view start:
// the settings groups, the CD engine and its drives, the track list of the chosen drive, and the
// disc's entry in the local CD library when the settings ask for it.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "cdaccess/cd_types.h"
#include "cdinfo/headless_disc_view.h"
#include "rip/settings_groups.h"
#include "rip/track_list.h"

namespace tonalda::cli {

class Console;

inline constexpr std::string_view kInsertDiscMessage =
    "Please insert an audio CD in your CD-ROM and press 'Refresh' button";
inline constexpr std::string_view kInvalidSelection = "Invalid selection";

// Loads MP3, FreeDB, Output, WMA, OGG, CD-ROM and Misc in that order into the process-wide
// records; each group that fails is reported once and start-up goes on. Returns the number of
// groups that failed. Thread: the main thread.
int loadSettingsGroups(Console& console);

// Thread: the main thread; a job may use the open session from its worker.
class DriveSession {
  public:
    explicit DriveSession(Console& console);
    ~DriveSession();
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;

    // Starts the engine and lists the drives. False, with the reason told, when there is none.
    bool findDrives();
    const CdDriveList& drives() const { return drives_; }
    // findDrives, then openDisc.
    bool open() { return findDrives() && openDisc(); }

    // Builds the track list of the drive chosen in the CD-ROM settings, then reads the disc's
    // library entry when "AutoRead" is set and the entry exists. True with a disc; otherwise the
    // reason has been told.
    bool openDisc();
    TrackList& trackList() { return *list_; }
    int handle() const { return list_->sessionHandle(); }

    // A window-less disc view over the track list's rows (tags and titles), asking the drive for
    // the disc's identity and player key.
    std::unique_ptr<HeadlessDiscView> discView(Prompter& prompter);
    // Takes the view's tags and titles back into the track list's rows.
    void takeFromView(const HeadlessDiscView& view);

    std::filesystem::path libraryFolder() const;

  private:
    Console& console_;
    CdDriveList drives_{};
    std::unique_ptr<TrackList> list_;
};

}  // namespace tonalda::cli
