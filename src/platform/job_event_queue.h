#pragma once
// The queue between jobs and the thread that shows them (the receiver). Workers post events and
// go on at once; the receiver takes them off in order on its own thread. One queue per receiver:
// the GUI's bridge owns one on the GUI thread, tonalda-cli one on its main thread, a test one on
// whichever thread plays the view.
//
// Progress is coalesced: an undelivered progress of a row is overwritten by a newer one, so a
// slow receiver gets every status change in order and the latest progress of every row, and a
// worker never waits for it.
//
// Waking the receiver: the queue calls `wake` (on the posting worker's thread, outside its lock)
// when it goes from drained to holding events; it is not called again until the receiver has
// drained. A receiver without an event loop waits with waitForEvents() or lets
// deliverUntilFinished() do the loop.
//
// A Qt receiver (the bridge in src/ui) needs no more than this, made on the GUI thread:
//
//     JobEventQueue events([this] {
//         QMetaObject::invokeMethod(this, [this] { deliver(); }, Qt::QueuedConnection);
//     });
//     void deliver() { for (const JobNotice& notice : events.drain()) emit jobEvent(notice); }
//
// and, to stop a job, calls its requestStop() and returns to the event loop; the job object is
// destroyed (deleteLater or a reset) only in the handler of that run's JobFinished, never by
// waiting for the worker on the GUI thread (see platform/job_thread.h). A worker that waits on a
// message box is released by the stop: the Qt Prompter overrides
// Prompter::ask(prompt, cancel) to close its box when the cancel is requested.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/job_events.h"

namespace tonalda {

class JobEventQueue {
  public:
    using Wake = std::function<void()>;

    // The constructing thread is the receiver.
    explicit JobEventQueue(Wake wake = {});
    JobEventQueue(const JobEventQueue&) = delete;
    JobEventQueue& operator=(const JobEventQueue&) = delete;

    // Queues an event. Thread: any (normally a job's worker); never waits for the receiver.
    void post(JobId job, JobEvent event);

    // Takes every queued event off, oldest first. Thread: the receiver.
    std::vector<JobNotice> drain();
    // Waits until an event is queued or the time has passed; true when there is one.
    // Thread: the receiver.
    bool waitForEvents(std::chrono::milliseconds timeout);

    // A job announces a run whose JobFinished is on its way. Thread: the job's owner.
    void expectFinish(JobId job);
    // True from expectFinish() until that job's JobFinished has been drained. Thread: any.
    bool finishPending(JobId job) const;

    // Thread: any.
    bool onReceiverThread() const { return std::this_thread::get_id() == receiver_; }
    // Makes the calling thread the receiver (for a queue made on another thread).
    void becomeReceiver() { receiver_ = std::this_thread::get_id(); }

  private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<JobNotice> queue_;
    std::uint64_t drained_ = 0;  // events taken off so far: the index of the queue's front
    // The queue index of the undelivered progress of each (job, row).
    std::map<std::pair<JobId, int>, std::uint64_t> pendingProgress_;
    std::set<JobId> finishPending_;
    bool wakePending_ = false;
    Wake wake_;
    std::thread::id receiver_;
};

// The receivers' loop without an event loop (tonalda-cli, tests): hands every event to `handle`
// on the calling thread until the JobFinished of `job` has been handled; events of other jobs are
// handled on the way. `idle` runs after each batch and at least every 50 ms (the CLI watches
// Ctrl-C there). Returns at once when no finish of the job is pending.
// Thread: the receiver.
void deliverUntilFinished(JobEventQueue& queue, JobId job,
                          const std::function<void(const JobNotice&)>& handle,
                          const std::function<void()>& idle = {});

}  // namespace tonalda
