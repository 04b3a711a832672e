#pragma once
// The rip job: the checked tracks of the track list, one after another, extracted through the
// jitter-corrected reader into a WAV file, or into a private temporary file that an encoder then
// turns into an MP3, WMA or Ogg Vorbis file. The drive reads one track at a time; the encodings
// run on a pool of encoder workers, so that earlier tracks are encoded while later ones are read.
// At most workers + 1 extracted tracks wait on the disk: the next extraction waits for a place.
// It reports to its receiver's JobEventQueue (see platform/job_events.h): per row the statuses
// Extracting, Extracted, Encoding, Encoded and the progress of each, rows interleaving; rows left
// undone by a cancel show Canceled. An extraction error ends the job: that row and the later
// ones show Error, while tracks already extracted are still encoded, as their audio is good.
// Every output is written under a temporary name in its folder and renamed when complete; two
// tracks of a job whose names compose alike get distinct names ("Same.mp3", "Same (2).mp3").
// The job also keeps each entry's status and done flag for its owner to read.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cdaccess/cdrom_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/job_runner.h"
#include "rip/track_list.h"

namespace tonalda {

class CdEngine;
class Extractor;
class FileEncoders;
class Prompter;
class Registry;
struct DiscInfo;

// Everything a rip reads from the settings, taken when it starts.
struct RipOptions {
    std::int32_t format = 0;  // OutputFormat position
    std::filesystem::path ripFolder;
    std::int32_t fileNameRule = 0;
    std::int32_t subFolderRule = 0;
    std::string discArtist = " ";
    std::string discAlbum = " ";
    std::filesystem::path tempFolder;  // "Temppath"; the system's temporary folder when empty
    // Encoder workers; 1 extracts and encodes each track before reading the next.
    int workers = 1;
    CdRomSettings cdrom;
    OggSettings ogg;
    WmaSettings wma;
};

// The options from the process-wide settings records and the disc's information, with as many
// encoder workers as the process has cores.
// Thread: the user interface thread (settings do not change while it reads them).
RipOptions currentRipOptions(const DiscInfo& disc);

// A rip's queue from the list's checked rows, top to bottom: each row's base name composed by the
// file-name rule and kept in the row, its Status "Waiting", a copy of its item queued.
// Thread: the thread that owns the list.
std::vector<TrackItem> takeRipQueue(TrackList& list, std::int32_t fileNameRule);

// One entry of the rip queue as a view shows it.
struct RipEntry {
    TrackItem item;  // a copy of the row's item, base name composed; done when its file is complete
    RowStatus status = RowStatus::Waiting;
    std::string outputName;  // the output's file name in the output folder
    bool renamed = false;    // numbered, as an earlier entry of the job has its name
};

// One job object per view, reused for each rip; each run has its own JobId. The owner starts,
// stops and destroys it (see platform/job_thread.h for when it may be destroyed); the accessors
// may be called from any thread.
class RipJob {
  public:
    // The prompter is asked from the worker; a stop closes a prompt that waits.
    RipJob(CdEngine& engine, Registry& registry, Prompter& prompter, JobEventQueue& events);
    RipJob(const RipJob&) = delete;
    RipJob& operator=(const RipJob&) = delete;

    // Builds the queue from the list's checked rows top to bottom: each row's base name is
    // composed by the file-name rule and kept in the list's own item, its Status becomes
    // "Waiting", and a copy of the item joins the queue. Then the worker starts on the list's
    // drive session. False, starting nothing, when no row is checked or a job is still running.
    // Thread: the thread that owns the list (the user interface thread).
    bool start(TrackList& list, const RipOptions& options);
    // The same for a prepared queue on an open drive session (items keep their base names and
    // rows). Thread: the owner.
    bool start(int sessionHandle, std::vector<TrackItem> queue, const RipOptions& options);

    // The Cancel command: the worker stops at its next block and removes the partial files.
    void requestStop() { runner_.requestStop(); }
    bool stopRequested() const { return runner_.cancel().stopRequested(); }
    bool running() const { return runner_.running(); }
    // The current run's id: its events carry it.
    JobId id() const { return runner_.id(); }

    std::vector<RipEntry> entries() const;
    // The list row of the entry being worked on.
    std::int32_t currentRow() const { return runner_.currentRow(); }
    // Set when an extraction (or the output folder, or a temporary file) failed and stopped the
    // last job.
    bool errorFlag() const { return !running() && runner_.outcome() == JobOutcome::Failed; }
    // True when the last job ended with every entry's file complete.
    bool succeeded() const { return runner_.succeeded(); }

  private:
    struct Run;
    JobOutcome run();
    EntryResult extractEntry(EntryWork& work, std::size_t index, Run& run);
    EntryResult encodeEntry(EntryWork& work, std::size_t index, Run& run);

    CdEngine& engine_;
    Registry& registry_;
    Prompter& prompter_;
    RipOptions options_;
    int handle_ = 0;
    std::vector<TrackItem> queue_;  // written only while no worker runs
    // Each entry's base name and how its output's name ends (extension, numbering).
    std::vector<std::string> fileBases_;
    std::vector<std::string> fileEndings_;
    JobRunner runner_;  // last: it goes first
};

}  // namespace tonalda
