#pragma once
// What every drive command of tonalda-cli starts with: the engine's disc session on the drive
// chosen in the settings, run through the same start-up as the main window and the rip view, with
// the reasons for a failure told on the console.

#include <filesystem>
#include <string_view>

#include "app/cli/cli_console.h"
#include "platform/job_event_queue.h"
#include "rip/disc_session.h"

namespace tonalda::cli {

inline constexpr std::string_view kInsertDiscMessage =
    "Please insert an audio CD in your CD-ROM and press 'Refresh' button";
inline constexpr std::string_view kInvalidSelection = "Invalid selection";

// Loads MP3, FreeDB, Output, WMA, OGG, CD-ROM and Misc in that order into the process-wide
// records; each group that fails is reported once and start-up goes on. Returns the number of
// groups that failed. Thread: the main thread.
int loadSettingsGroups(Console& console);

// The main thread is the receiver of the session's and its jobs' events.
// Thread: the main thread.
class DriveSession {
  public:
    explicit DriveSession(Console& console);
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;

    // Starts the engine and lists the drives. False, with the reason told, when there is none.
    bool findDrives();
    // findDrives, then openDisc.
    bool open() { return findDrives() && openDisc(); }
    // Builds the track list of the drive chosen in the CD-ROM settings, then reads the disc's
    // library entry when "AutoRead" is set and the entry exists (looking at a disc leaves no
    // file behind). True with a disc; otherwise the reason has been told.
    bool openDisc();

    DiscSession& disc() { return session_; }
    JobEventQueue& events() { return events_; }
    Prompter& prompter() { return prompter_; }

  private:
    Console& console_;
    ConsolePrompter prompter_;
    JobEventQueue events_;
    DiscSession session_;
};

}  // namespace tonalda::cli
