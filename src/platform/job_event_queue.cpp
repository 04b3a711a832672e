#include "platform/job_event_queue.h"

namespace tonalda {

JobEventQueue::JobEventQueue(Wake wake)
    : wake_(std::move(wake)), receiver_(std::this_thread::get_id()) {}

void JobEventQueue::post(JobId job, JobEvent event) {
    bool callWake = false;
    {
        std::lock_guard lock(mutex_);
        const int row = rowOf(event);
        if (const auto* progress = std::get_if<RowProgress>(&event)) {
            const auto key = std::make_pair(job, row);
            const auto pending = pendingProgress_.find(key);
            if (pending != pendingProgress_.end()) {
                auto& queued = std::get<RowProgress>(queue_[pending->second - drained_].event);
                if (queued.activity == progress->activity) {
                    queued.thousandths = progress->thousandths;
                    return;  // the receiver has not been woken for less
                }
            }
            pendingProgress_[key] = drained_ + queue_.size();
        } else if (row >= 0) {
            // Later progress of the row must come after this event.
            pendingProgress_.erase(std::make_pair(job, row));
        } else {
            std::erase_if(pendingProgress_,
                          [job](const auto& entry) { return entry.first.first == job; });
        }
        queue_.push_back({job, std::move(event)});
        callWake = wake_ && !wakePending_;
        wakePending_ = true;
    }
    posted_.notify_all();
    if (callWake)
        wake_();
}

std::vector<JobNotice> JobEventQueue::drain() {
    std::lock_guard lock(mutex_);
    std::vector<JobNotice> events(std::make_move_iterator(queue_.begin()),
                                  std::make_move_iterator(queue_.end()));
    drained_ += queue_.size();
    queue_.clear();
    pendingProgress_.clear();
    wakePending_ = false;
    for (const JobNotice& notice : events)
        if (std::holds_alternative<JobFinished>(notice.event))
            finishPending_.erase(notice.job);
    return events;
}

bool JobEventQueue::waitForEvents(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
}

void JobEventQueue::expectFinish(JobId job) {
    std::lock_guard lock(mutex_);
    finishPending_.insert(job);
}

bool JobEventQueue::finishPending(JobId job) const {
    std::lock_guard lock(mutex_);
    return finishPending_.contains(job);
}

void deliverUntilFinished(JobEventQueue& queue, JobId job,
                          const std::function<void(const JobNotice&)>& handle,
                          const std::function<void()>& idle) {
    while (queue.finishPending(job)) {
        if (queue.waitForEvents(std::chrono::milliseconds(50)))
            for (const JobNotice& notice : queue.drain())
                handle(notice);
        if (idle)
            idle();
    }
}

}  // namespace tonalda
