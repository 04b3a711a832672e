#pragma once
// The worker thread of a job, with the job's cancel token and its way to the receiver's queue.
// One run at a time; each run gets a fresh JobId and ends with JobFinished as its last event.
//
// Declare it as the job's last member, so that it is destroyed first: its destructor requests
// the stop and joins the worker while the rest of the job is still there.
//
// Never join on the receiver's thread while the worker runs. A worker waits for nobody but a
// Prompter, and prompts end when the job is stopped, so the join would not deadlock here; but a
// receiver that blocks stops showing progress, and an event loop must not stall. The destructor
// on the receiver thread while the worker runs is a programming error, caught by an assertion
// in debug builds. The owner instead:
//   - requests the stop (requestStop()),
//   - keeps receiving events until the run's JobFinished (a Qt receiver simply returns to its
//     event loop and acts on JobFinished; tonalda-cli and tests call finishOnReceiverThread()),
//   - and only then destroys the job.

#include <atomic>
#include <cassert>
#include <thread>
#include <utility>

#include "platform/cancel_token.h"
#include "platform/job_event_queue.h"

namespace tonalda {

class JobThread {
  public:
    explicit JobThread(JobEventQueue& events) : events_(events) {}
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;
    ~JobThread() {
        assert(!(running() && events_.onReceiverThread()) &&
               "a running job is destroyed on the thread that receives its events");
        cancel_.requestStop();
        if (thread_.joinable())
            thread_.join();
    }

    // Starts `work` on a new thread unless a run is still going on. `work` returns the run's
    // outcome; JobFinished with it is posted after it. Thread: the owner.
    template <typename Work>
    bool start(Work work) {
        if (running())
            return false;
        if (thread_.joinable())
            thread_.join();  // the last run has ended
        cancel_.reset();
        id_ = nextJobId();
        events_.expectFinish(id_);
        running_ = true;
        thread_ = std::thread([this, work = std::move(work)]() mutable {
            const JobOutcome outcome = work();
            running_ = false;
            post(JobFinished{outcome});  // last: the owner may destroy the job after it
        });
        return true;
    }

    // Thread: any.
    void requestStop() { cancel_.requestStop(); }
    bool running() const { return running_.load(); }
    // The current (or last) run; 0 before the first.
    JobId id() const { return id_; }
    const CancelToken& cancel() const { return cancel_; }
    JobEventQueue& events() const { return events_; }

    // Thread: the worker.
    void post(JobEvent event) { events_.post(id_, std::move(event)); }

  private:
    JobEventQueue& events_;
    CancelToken cancel_;
    JobId id_ = 0;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

// Stops a job from its receiver's thread without blocking the delivery of its events: requests
// the stop, then hands the events to `handle` until the run's JobFinished. Afterwards the job may
// be destroyed. Thread: the receiver (tonalda-cli, tests). A Qt receiver requests the stop and
// lets its event loop deliver the rest instead.
template <typename Job>
void finishOnReceiverThread(Job& job, JobEventQueue& events,
                            const std::function<void(const JobNotice&)>& handle) {
    job.requestStop();
    deliverUntilFinished(events, job.id(), handle);
}

}  // namespace tonalda
