#include "platform/job_runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

#include "platform/worker_pool.h"

namespace tonalda {

void EntryWork::setStatus(RowStatus status) {
    runner_.setStatus(index_, status);
}

const CancelToken& EntryWork::cancel() const {
    return runner_.cancel();
}

void EntryWork::RowProgressSink::progress(int thousandths) {
    work_.runner_.post(RowProgress{work_.row_, activity_, thousandths});
}

bool JobRunner::start(std::vector<int> rows, std::function<JobOutcome()> run) {
    if (running() || rows.empty())
        return false;
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
        for (const int row : rows)
            entries_.push_back({row, RowStatus::Waiting, false});
    }
    currentRow_ = rows.front();
    return thread_.start([this, run = std::move(run)] {
        post(JobStarted{});
        const JobOutcome outcome = run();
        outcome_ = outcome;
        return outcome;
    });
}

JobOutcome JobRunner::runEntries(const EntryFunction& work) {
    const std::size_t count = entries().size();
    for (std::size_t index = 0; index < count; ++index) {
        if (cancel().stopRequested())
            return leaveUndone(index, EntryResult::Stopped, false);
        const int row = entries()[index].row;
        currentRow_ = row;
        post(EntryStarted{row});
        EntryWork entry(*this, index, row);
        const EntryResult result = work(entry, index);
        if (result == EntryResult::Stopped || result == EntryResult::Failed)
            return leaveUndone(index, result, true);
        settle(index, result);
    }
    return JobOutcome::Finished;
}

JobOutcome JobRunner::runStaged(const StagedWork& work) {
    if (work.workers > 1)
        return runPipelined(work);
    return runEntries([&](EntryWork& entry, std::size_t index) {
        const EntryResult first = work.first(entry, index);
        return first == EntryResult::Handed ? work.second(entry, index) : first;
    });
}

namespace {

// Places for entries between the start of their first stage and the end of their second.
class InFlightLimit {
  public:
    explicit InFlightLimit(int places) : free_(std::max(places, 1)) {}
    // Waits for a free place; false when the cancel came first.
    bool acquire(const CancelToken& cancel) {
        std::unique_lock lock(mutex_);
        while (free_ == 0) {
            if (cancel.stopRequested())
                return false;
            // The cancel token cannot wake this wait; it is looked at every few milliseconds.
            freed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        --free_;
        return true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            ++free_;
        }
        freed_.notify_one();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    int free_;
};

}  // namespace

JobOutcome JobRunner::runPipelined(const StagedWork& work) {
    const std::size_t count = entries().size();
    InFlightLimit places(std::max(work.inFlight, work.workers));
    std::atomic<bool> secondStopped{false};
    std::atomic<bool> secondFailed{false};
    std::size_t index = 0;
    EntryResult stop = EntryResult::Complete;
    bool begun = false;  // the stopped entry had started
    {
        WorkerPool pool(work.workers);
        for (; index < count; ++index) {
            if (cancel().stopRequested() || !places.acquire(cancel())) {
                stop = EntryResult::Stopped;
                break;
            }
            if (secondFailed.load()) {
                places.release();
                stop = EntryResult::Failed;
                break;
            }
            begun = true;
            const int row = entries()[index].row;
            currentRow_ = row;
            post(EntryStarted{row});
            EntryWork entry(*this, index, row);
            const EntryResult result = work.first(entry, index);
            if (result == EntryResult::Handed) {
                begun = false;
                pool.submit([&, index, row](int worker) {
                    EntryWork second(*this, index, row, worker);
                    const EntryResult ended = work.second(second, index);
                    // Known before the row shows its end: no later entry starts after it.
                    if (ended == EntryResult::Stopped)
                        secondStopped = true;
                    if (ended == EntryResult::Failed)
                        secondFailed = true;
                    settle(index, ended);
                    places.release();
                });
                continue;
            }
            places.release();
            if (result == EntryResult::Stopped || result == EntryResult::Failed) {
                stop = result;
                break;
            }
            settle(index, result);
            begun = false;
        }
        // Entries handed on are finished before the job ends, whatever stopped the first stage.
        pool.waitIdle();
    }
    if (index < count)
        return leaveUndone(index, stop, begun);
    if (secondFailed.load())
        return JobOutcome::Failed;
    return secondStopped.load() ? JobOutcome::Canceled : JobOutcome::Finished;
}

void JobRunner::settle(std::size_t index, EntryResult result) {
    switch (result) {
        case EntryResult::Stopped:
            setStatus(index, RowStatus::Canceled);
            break;
        case EntryResult::Incomplete:
        case EntryResult::Failed:
            setStatus(index, RowStatus::Error);
            break;
        case EntryResult::Complete:
        case EntryResult::Skipped:
        case EntryResult::Handed:
            break;
    }
    finishEntry(index, result == EntryResult::Complete);
}

JobOutcome JobRunner::leaveUndone(std::size_t index, EntryResult stop, bool begun) {
    const std::size_t count = entries().size();
    const RowStatus left = stop == EntryResult::Failed ? RowStatus::Error : RowStatus::Canceled;
    for (std::size_t undone = index; undone < count; ++undone) {
        setStatus(undone, left);
        if (undone == index && begun)
            finishEntry(index, false);
    }
    return stop == EntryResult::Failed ? JobOutcome::Failed : JobOutcome::Canceled;
}

void JobRunner::setStatus(std::size_t index, RowStatus status) {
    post(RowStatusChanged{
        updateEntry(index, [status](RunnerEntry& entry) { entry.status = status; }), status});
}

void JobRunner::finishEntry(std::size_t index, bool complete) {
    post(EntryFinished{
        updateEntry(index, [complete](RunnerEntry& entry) { entry.complete = complete; }),
        complete});
}

int JobRunner::updateEntry(std::size_t index, const std::function<void(RunnerEntry&)>& change) {
    std::lock_guard lock(mutex_);
    change(entries_[index]);
    return entries_[index].row;
}

std::vector<RunnerEntry> JobRunner::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool JobRunner::succeeded() const {
    if (running())
        return false;
    std::lock_guard lock(mutex_);
    for (const RunnerEntry& entry : entries_)
        if (!entry.complete)
            return false;
    return !entries_.empty();
}

}  // namespace tonalda
