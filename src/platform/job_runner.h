#pragma once
// The one runner of the rip job, the segment rip and the convert jobs: a queue of entries, each
// shown in a row of the receiver's list, worked through on the job's thread. The runner posts
// the events (JobStarted, EntryStarted, EntryFinished, JobFinished and the final statuses of the
// rows a stop left undone) and keeps what the owner may ask about the rows; the job's own work
// for an entry sets the row's statuses and reports its progress through EntryWork.
//
// Declare the runner as the job's last member: it is destroyed first, stopping and joining the
// worker while the rest of the job is still there (see JobThread for where not to destroy it).

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/job_thread.h"
#include "platform/progress.h"

namespace tonalda {

class JobRunner;

// How the work for one entry ended.
enum class EntryResult {
    Complete,    // its output file is finished
    Incomplete,  // it failed (the user has been told); the row shows Error and the job goes on
    Skipped,     // there was nothing to make; the row keeps its status
    Stopped,     // the job's cancel stopped it; its partial files are gone
    Failed,      // an error that ends the job (an extraction error); its partial files are gone
    Handed,      // the first stage of a staged run is done: the second stage finishes the entry
};

// What the work for one entry uses. Thread: the job's worker.
class EntryWork {
  public:
    int row() const { return row_; }
    // Which of the job's encoder workers runs this work (0 .. workers - 1); 0 on the job's own
    // thread. What a worker owns (its encoders) is used by one entry at a time.
    int worker() const { return worker_; }
    void setStatus(RowStatus status);
    // Progress of this row in the activity, posted coalesced.
    ProgressSink& progress(RowActivity activity) {
        return activity == RowActivity::Extracting ? extracting_ : encoding_;
    }
    const CancelToken& cancel() const;
    bool stopRequested() const { return cancel().stopRequested(); }

  private:
    friend class JobRunner;
    class RowProgressSink final : public ProgressSink {
      public:
        RowProgressSink(EntryWork& work, RowActivity activity) : work_(work), activity_(activity) {}
        void progress(int thousandths) override;

      private:
        EntryWork& work_;
        RowActivity activity_;
    };

    EntryWork(JobRunner& runner, std::size_t index, int row, int worker = 0)
        : runner_(runner), index_(index), row_(row), worker_(worker) {}

    JobRunner& runner_;
    std::size_t index_;
    int row_;
    int worker_;
    RowProgressSink extracting_{*this, RowActivity::Extracting};
    RowProgressSink encoding_{*this, RowActivity::Encoding};
};

using EntryFunction = std::function<EntryResult(EntryWork&, std::size_t)>;

// The work of each entry in two stages, so that one stage of an entry overlaps the other of the
// next: the first runs on the job's thread, entry after entry in order (the drive reads one track
// at a time); when it returns Handed, the second finishes the entry on one of `workers` encoder
// workers while the first goes on with the next entry. With one worker the second stage runs on
// the job's thread right after the first, entry after entry.
struct StagedWork {
    EntryFunction first;
    EntryFunction second;
    int workers = 1;
    // Entries that may be handed on and not yet finished, plus the one in its first stage: the
    // first stage of an entry waits until fewer are (each holds a temporary file on the disk).
    int inFlight = 2;
};

// One entry as the owner sees it.
struct RunnerEntry {
    int row = 0;
    RowStatus status = RowStatus::Waiting;
    bool complete = false;
    bool operator==(const RunnerEntry&) const = default;
};

class JobRunner {
  public:
    explicit JobRunner(JobEventQueue& events) : thread_(events) {}
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Starts a run over entries shown in `rows` (all "Waiting"): the worker posts JobStarted and
    // calls `run`, which prepares what the entries need (encoders, the extractor) and calls
    // runEntries(). False, starting nothing, when a run is going on or there are no rows.
    // Thread: the owner.
    bool start(std::vector<int> rows, std::function<JobOutcome()> run);

    // Works through the entries in order: EntryStarted, `work`, EntryFinished for each. The job
    // stops before an entry once its cancel is requested, and after an entry whose work stopped
    // or failed; then the rows left undone show Canceled (stopped) or Error (failed).
    // Thread: the worker, inside `run`.
    JobOutcome runEntries(const EntryFunction& work);
    // Works through the entries in two stages (see StagedWork). EntryStarted is posted before an
    // entry's first stage, EntryFinished when its last stage ends; entries finish in any order.
    // A cancel stops the first stage before the next entry and every second stage at its next
    // block: rows not finished show Canceled. A first stage that fails ends the job: its row and
    // the later ones show Error, while entries already handed on are finished (their data is
    // good). A second stage that fails (Failed) also stops the first stage before the next entry.
    // Thread: the worker, inside `run`.
    JobOutcome runStaged(const StagedWork& work);

    // Thread: any.
    void requestStop() { thread_.requestStop(); }
    bool running() const { return thread_.running(); }
    JobId id() const { return thread_.id(); }
    const CancelToken& cancel() const { return thread_.cancel(); }
    std::vector<RunnerEntry> entries() const;
    // The row being worked on; the first row before the run reaches it.
    int currentRow() const { return currentRow_.load(); }
    // The outcome of the last run that ended.
    JobOutcome outcome() const { return outcome_.load(); }
    // True when the last run has ended and finished every entry's file.
    bool succeeded() const;

    // Thread: the worker.
    void post(JobEvent event) { thread_.post(std::move(event)); }

  private:
    friend class EntryWork;
    void setStatus(std::size_t index, RowStatus status);
    void finishEntry(std::size_t index, bool complete);
    JobOutcome runPipelined(const StagedWork& work);
    // Posts the end of an entry whose work returned `result` (not Handed).
    void settle(std::size_t index, EntryResult result);
    // Marks the entries from `index` on, which a stop left undone; `begun`: the first of them had
    // started. Returns the job's outcome for the stop.
    JobOutcome leaveUndone(std::size_t index, EntryResult stop, bool begun);
    // Changes an entry under the lock; returns its row.
    int updateEntry(std::size_t index, const std::function<void(RunnerEntry&)>& change);

    mutable std::mutex mutex_;
    std::vector<RunnerEntry> entries_;
    std::atomic<int> currentRow_{0};
    std::atomic<JobOutcome> outcome_{JobOutcome::Finished};
    JobThread thread_;  // last: it goes first
};

}  // namespace tonalda
