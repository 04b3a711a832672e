#pragma once
// What a front end holds for the disc in the chosen drive: the drive session, the track rows with
// their statuses and column texts, the disc information, and the lookup and submit jobs that
// write into them. The GUI's rip view and tonalda-cli are thin callers of it.
//
// Start-up, in the order a front end runs it:
//   1. loadSettingsGroups(): MP3, FreeDB, Output, WMA, OGG, CD-ROM, Misc into the process-wide
//      records, each failure reported on its own (the main window's start);
//   2. startEngine(): the CD engine and its drive list (the rip view's first showing);
//   3. rebuild(): the track list of the drive chosen in the CD-ROM settings (at once when the Misc
//      setting "TOC" is set, else on the first Refresh);
//   4. readLibrary(): the disc's entry of the local CD library, when "AutoRead" is set too.
// openRipView() runs 2 to 4 as the rip view does.
//
// Threads: the owner's thread (the GUI thread, the CLI's main thread) calls everything unless a
// function says otherwise, and is the receiver of `events`. A lookup's worker writes the disc
// information, tags and titles through the DiscView functions while the owner reads the rows:
// the rows are guarded by a lock and every access copies. Each change made through the DiscView
// functions is posted to `events` with the session's id: DiscInfoChanged, RowTitleChanged.
//
// The session must outlive every job that works on its drive session (rip, segment rip). Its
// own lookup and submit jobs go with it; stop them and receive their JobFinished first (see
// platform/job_thread.h).

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cdaccess/cd_types.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/disc_view.h"
#include "platform/job_event_queue.h"
#include "rip/track_list.h"

namespace tonalda {

class CdEngine;
class Registry;

// What a front end shows once for each settings group that did not load.
inline constexpr std::string_view kInitializationError =
    "Initialization error!\n\nPlease reinstall Tonalda again!";

// The names of the settings groups in the order they are loaded.
inline constexpr std::array<std::string_view, 7> kSettingsGroupOrder = {
    "MP3", "FreeDB", "Output", "WMA", "OGG", "CD-ROM", "Misc"};

// How the engine start and drive search ended.
enum class DriveSearch { Found, NoSharedMemory, NoAdapter, NoDrive };

class DiscSession final : public DiscView {
  public:
    DiscSession(CdEngine& engine, Registry& registry, Prompter& prompter, JobEventQueue& events);
    ~DiscSession() override;
    DiscSession(const DiscSession&) = delete;
    DiscSession& operator=(const DiscSession&) = delete;

    // Loads the seven groups in kSettingsGroupOrder; `failed` is called with the name of each
    // group that could not be read (the front end shows "Initialization error!..." for it) and
    // start-up goes on. Returns the number of failed groups.
    static int loadSettingsGroups(Registry& registry,
                                  const std::function<void(std::string_view group)>& failed);

    DriveSearch startEngine();
    // startEngine() the first time; later calls give the first call's result without searching
    // again (the main window asks for the drive description before the rip view is shown).
    DriveSearch ensureEngine();
    const CdDriveList& drives() const { return drives_; }
    // Vendor and product of the drive chosen in the CD-ROM settings, starting the engine when it
    // has not started; empty without such a drive.
    std::string selectedDriveDescription();
    // Closes the open drive session, opens one on the drive at the CD-ROM settings' unit,
    // reads the table of contents and builds the rows with the Output settings' format.
    // Returns discReady: 1 built, 0 no table of contents, -1 no drive session.
    int rebuild();
    // The Refresh command: rebuild() and forget the disc information (artist and album " ",
    // no genre).
    int refresh();
    // AutoRead: the disc's entry of the local CD library (Misc "CDDBpath") into the disc
    // information and rows. With createMissing the library file is created when missing (the
    // rip view does); without, a missing entry is left alone. True when an entry was read.
    bool readLibrary(bool createMissing);
    // Steps 2 to 4 as the rip view runs them when first shown. Returns discReady (-1 without a
    // drive, 0 when "TOC" is not set).
    int openRipView();
    std::filesystem::path libraryFolder() const;
    // "Save to local CD library" as the user asks for it: the disc's file is created first when
    // it is missing, so that what the user asked to keep is written. False when it could not be.
    bool saveLibrary();

    // Whether the disc in the drive is still the one the rows were built from: the table of
    // contents is read again and compared with the kept one. False when the disc was taken out or
    // swapped (a drive that reports the change once is asked twice); true without rows to protect
    // (no session, no disc read).
    bool discUnchanged();
    // The drive session and its tables; 0 / zeroed without one.
    int handle() const;
    int discReady() const;
    DiscToc lbaToc() const;
    DiscToc msfToc() const;
    int firstTrack() const;
    std::int32_t trackSeconds(int trackNumber) const;
    // The block address of the lead-out: the disc's length in frames; 0 without a disc.
    std::uint32_t leadOutFrame() const;

    // The rows. Thread: any (copies under the lock).
    std::vector<TrackRow> rows() const;
    // One row; an empty row outside the list.
    TrackRow row(int row) const;
    TrackItem item(int row) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    std::string columnText(int row, int column) const;
    std::string_view emptyListText() const;
    // Whether the list takes clicks: not after a refresh that found no disc or no drive.
    bool listEnabled() const;
    void checkAll();
    void clear();
    void toggleHeader();
    bool headerChecked() const;
    void applyDiscFields(std::string_view artist, std::string_view album, std::int32_t genre);
    void setOutputFormat(std::int32_t outputFormat);

    // A rip's queue from the checked rows, top to bottom: each row's base name composed by the
    // file-name rule and kept in the row, its Status "Waiting", a copy of its item queued.
    std::vector<TrackItem> takeRipQueue(std::int32_t fileNameRule);
    // Keeps the Status column in step with a job's events about the rows (rip job), so that
    // the column texts live here and every view shows the same. Thread: the receiver.
    void apply(const JobNotice& notice);
    // The id the session's own events (DiscInfoChanged, RowTitleChanged) carry.
    JobId eventId() const { return eventId_; }

    // "Query from FreeDB" and "Submit to FreeDB" on this disc.
    cddb::CddbLookupJob& lookup() { return lookup_; }
    cddb::CddbSubmitJob& submit() { return submit_; }

    // DiscView. Thread: any.
    Prompter& prompter() override { return prompter_; }
    SharedDiscInfo& discInfo() override { return discInfo_; }
    std::optional<DiscToc> lastToc() const override;
    std::optional<DiscIdentity> readDiscIdentity() override;
    std::uint32_t readPlayerKey() override;
    int rowCount() const override;
    TagInfo rowTag(int row) const override;
    void updateRowTag(int row, const std::function<void(TagInfo&)>& change) override;
    std::string trackTitle(int row) const override;
    void setTrackTitle(int row, std::string title) override;
    void showDiscInfo() override;

  private:
    bool validRow(int row) const;
    TrackRow rowLocked(int row) const;

    CdEngine& engine_;
    Registry& registry_;
    Prompter& prompter_;
    JobEventQueue& events_;
    JobId eventId_;
    CdDriveList drives_{};
    std::optional<DriveSearch> search_;
    SharedDiscInfo discInfo_;
    mutable std::mutex mutex_;  // guards list_
    TrackList list_;
    // Last: they go first, while the rows they write are still there.
    cddb::CddbLookupJob lookup_;
    cddb::CddbSubmitJob submit_;
};

}  // namespace tonalda
