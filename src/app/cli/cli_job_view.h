#pragma once
// What a running job shows on the console: a progress bar per phase with the item and its status
// on a terminal, one line per phase elsewhere. It is the job's receiver view: the main thread
// hands it the job's events as it takes them off the queue.

#include <functional>
#include <string>

#include "app/cli/cli_interrupt.h"
#include "platform/job_event_queue.h"

namespace tonalda::cli {

class Console;

// Thread: the main thread (the receiver).
class ConsoleJobView {
  public:
    // label names the item of a row when one of its phases begins.
    ConsoleJobView(Console& console, std::function<std::string(int row)> label);
    void handle(const JobNotice& notice);

  private:
    void beginPhase(int row, std::string_view phase);

    Console& console_;
    std::function<std::string(int)> label_;
    std::string phaseLabel_;
    int lastDrawn_ = -1;
};

// Runs a started job to its end on the main thread: hands its events to `handle`, and turns a
// Ctrl-C into the job's stop (also one pressed while it started). Thread: the main thread.
template <typename Job>
void finishJob(Job& job, JobEventQueue& events,
               const std::function<void(const JobNotice&)>& handle) {
    const auto stopOnInterrupt = [&job] {
        if (interrupted())
            job.requestStop();
    };
    stopOnInterrupt();
    deliverUntilFinished(events, job.id(), handle, stopOnInterrupt);
}

// The same with the job's events shown by the view.
template <typename Job>
void followJob(Job& job, JobEventQueue& events, ConsoleJobView& view,
               const std::function<void(const JobNotice&)>& alsoHandle = {}) {
    finishJob(job, events, [&](const JobNotice& notice) {
        view.handle(notice);
        if (alsoHandle)
            alsoHandle(notice);
    });
}

}  // namespace tonalda::cli
