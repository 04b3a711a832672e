#pragma once
// The segment rip: one range of frames of the disc, across track boundaries if need be, into one
// output file of the chosen format, without a tag. The worker reports to the "Rip Segment"
// dialog; the object also keeps the dialog's status text and how the rip ended.

#include <cstdint>
#include <filesystem>
#include <string>

#include "cdaccess/cdrom_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/job_runner.h"

namespace tonalda {

class CdEngine;
class Prompter;
class Registry;

// Status texts of the dialog.
inline constexpr std::string_view kSegmentExtracting = "Extracting...";
inline constexpr std::string_view kSegmentExtracted = "Extracted";
inline constexpr std::string_view kSegmentEncoding = "Encoding...";
inline constexpr std::string_view kSegmentFinished = "Finished";
inline constexpr std::string_view kSegmentCanceled = "Canceled";
inline constexpr std::string_view kSegmentError = "Error";

// The dialog's status text of its row's status: the segment's one row ends Encoded ("Finished")
// for every format, WAV included.
std::string_view segmentStatusText(RowStatus status);

struct SegmentRipOptions {
    std::int32_t format = 0;           // OutputFormat position
    std::filesystem::path output;      // the full output name, extension included
    std::filesystem::path tempFolder;  // "Temppath"; the system's temporary folder when empty
    CdRomSettings cdrom;
    OggSettings ogg;
    WmaSettings wma;
};

// The dialog's first output name: the rip folder, "Untitled" and the format's extension.
std::filesystem::path defaultSegmentOutput(const std::filesystem::path& ripFolder,
                                           std::int32_t format);

enum class SegmentOutcome { Running, Finished, Canceled, Failed };

// The row of the segment's events.
inline constexpr int kSegmentRow = 0;

// The worker of the "Rip Segment" dialog. It reports to its receiver's JobEventQueue as one row
// (kSegmentRow): Extracting, Extracted, Encoding, Encoded and their progress. The owner starts,
// stops and destroys it (see platform/job_thread.h); the accessors may be called from any thread.
class SegmentRip {
  public:
    SegmentRip(CdEngine& engine, Registry& registry, Prompter& prompter, JobEventQueue& events);
    SegmentRip(const SegmentRip&) = delete;
    SegmentRip& operator=(const SegmentRip&) = delete;

    // Begin: rips the frames from startFrame up to (not including) endFrame on the open session.
    // False when a rip is still running or the range is empty or reversed. Thread: the owner.
    bool start(int sessionHandle, std::uint32_t startFrame, std::uint32_t endFrame,
               const SegmentRipOptions& options);
    // Cancel: the worker stops at its next block and removes what it had written.
    void requestStop() { runner_.requestStop(); }
    bool running() const { return runner_.running(); }
    JobId id() const { return runner_.id(); }

    // The dialog's status text: "Canceled" as soon as a stop is requested.
    std::string status() const;
    SegmentOutcome outcome() const;

  private:
    EntryResult rip(EntryWork& work, std::uint32_t startFrame, std::uint32_t frameCount);

    CdEngine& engine_;
    Registry& registry_;
    Prompter& prompter_;
    SegmentRipOptions options_;
    int handle_ = 0;
    JobRunner runner_;  // last: it goes first
};

}  // namespace tonalda
