#pragma once
// The worker thread of a job: one run at a time. Destroying it cancels a run still going on and
// waits for it, so a job object never outlives its worker's use of it. Declare it as the job's
// last member, so that it goes first.

#include <atomic>
#include <thread>
#include <utility>

#include "platform/cancel_flag.h"

namespace tonalda {

class JobThread {
  public:
    JobThread() = default;
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;
    ~JobThread() {
        if (thread_.joinable()) {
            cancelFlag() = 1;
            thread_.join();
        }
    }

    // Starts `work` on a new thread unless a run is still going on. Thread: the starting thread.
    template <typename Work>
    bool start(Work work) {
        if (running())
            return false;
        if (thread_.joinable())
            thread_.join();  // the last run has ended
        running_ = true;
        thread_ = std::thread([this, work = std::move(work)]() mutable {
            work();
            running_ = false;
        });
        return true;
    }

    // Waits until the run has ended. Not on a thread the worker sends its messages to.
    void wait() {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
    }
    bool running() const { return running_.load(); }

  private:
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace tonalda
