#pragma once
// What jobs tell the views that show them: typed events that carry values, never pointers into a
// worker's memory. A job posts them to its receiver's JobEventQueue and goes on at once; the
// receiver handles them on its own thread, in the order they were posted.
//
// Rows are the receiver's list positions (the track list's or the convert list's rows; 0 for the
// segment rip's one entry). Every event of a row follows that row's earlier events; events of
// different rows may interleave, so a job that works on several rows at once (extracting one
// track while encoding the one before) reports through the same vocabulary.
//
// A job's events run: JobStarted, then per entry EntryStarted, status changes and progress,
// EntryFinished, and last JobFinished, after which the job posts nothing more and may be
// destroyed. The lookup and submit jobs post JobStarted, the disc changes they made, and
// JobFinished.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tonalda {

// Identifies a job among those reporting to one queue. Unique in the process.
using JobId = std::uint64_t;

// The status a row shows while and after a job works on it.
enum class RowStatus : std::uint8_t {
    Waiting,
    Extracting,
    Extracted,
    Encoding,
    Encoded,
    Canceled,
    Error,
};

// The Status column's text of the rip and convert lists.
std::string_view statusText(RowStatus status);

// What a row's progress measures: the reading of a track or the encoding of a file.
enum class RowActivity : std::uint8_t { Extracting, Encoding };

// How a job ended. Finished: it went through every entry (an entry whose encoder failed still
// counts; its row shows Error). Canceled: its owner stopped it. Failed: an error stopped it.
enum class JobOutcome : std::uint8_t { Finished, Canceled, Failed };

struct JobStarted {
    bool operator==(const JobStarted&) const = default;
};
// The worker takes up the entry of a row.
struct EntryStarted {
    int row = 0;
    bool operator==(const EntryStarted&) const = default;
};
struct RowStatusChanged {
    int row = 0;
    RowStatus status = RowStatus::Waiting;
    bool operator==(const RowStatusChanged&) const = default;
};
// An undelivered progress of a row is replaced by a newer one of the same activity.
struct RowProgress {
    int row = 0;
    RowActivity activity = RowActivity::Extracting;
    int thousandths = 0;
    bool operator==(const RowProgress&) const = default;
};
// The worker is done with a row; complete when its output file is finished.
struct EntryFinished {
    int row = 0;
    bool complete = false;
    bool operator==(const EntryFinished&) const = default;
};
// The last event of a job.
struct JobFinished {
    JobOutcome outcome = JobOutcome::Finished;
    bool operator==(const JobFinished&) const = default;
};
// A lookup or the local library changed the disc-level information to these values.
struct DiscInfoChanged {
    std::string artist;
    std::string album;
    int genreIndex = -1;
    bool operator==(const DiscInfoChanged&) const = default;
};
// A lookup or the local library put a title into a row (its tag changed with it).
struct RowTitleChanged {
    int row = 0;
    std::string title;
    bool operator==(const RowTitleChanged&) const = default;
};

using JobEvent = std::variant<JobStarted, EntryStarted, RowStatusChanged, RowProgress,
                              EntryFinished, JobFinished, DiscInfoChanged, RowTitleChanged>;

// One event as the receiver gets it: which job it came from, and the event.
struct JobNotice {
    JobId job = 0;
    JobEvent event;
    bool operator==(const JobNotice&) const = default;
};

// The row an event concerns, or -1 for events of the whole job.
int rowOf(const JobEvent& event);

// A fresh job id. Thread: any.
JobId nextJobId();

}  // namespace tonalda
