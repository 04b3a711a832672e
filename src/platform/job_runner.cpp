#include "platform/job_runner.h"

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

JobOutcome JobRunner::runEntries(const std::function<EntryResult(EntryWork&, std::size_t)>& work) {
    const std::size_t count = entries().size();
    std::size_t index = 0;
    EntryResult stop = EntryResult::Complete;
    bool begun = false;  // the stopped entry had started
    for (; index < count; ++index) {
        if (cancel().stopRequested()) {
            stop = EntryResult::Stopped;
            break;
        }
        begun = true;
        const int row = entries()[index].row;
        currentRow_ = row;
        post(EntryStarted{row});
        EntryWork entry(*this, index, row);
        const EntryResult result = work(entry, index);
        if (result == EntryResult::Incomplete)
            setStatus(index, RowStatus::Error);
        if (result == EntryResult::Stopped || result == EntryResult::Failed) {
            stop = result;
            break;
        }
        finishEntry(index, result == EntryResult::Complete);
        begun = false;
    }
    if (index == count)
        return JobOutcome::Finished;
    // The stopped entry and those after it did not finish.
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
