#pragma once
// A test's receiver of job events: the queue, what arrived (as events and as the window messages
// of the original design), and the loop that follows a job to its end.
//
// Delivery::OnTestThread is how a real view receives: the test thread drains the queue while the
// worker goes on. Delivery::OnPostingThread hands each event over at once on the thread that
// posts it, so that a handler acts at an exact point of the job (a cancel during a given phase).

#include <functional>
#include <mutex>
#include <vector>

#include "platform/job_event_queue.h"
#include "platform/messages.h"

namespace tonalda::test {

class JobView {
  public:
    enum class Delivery { OnTestThread, OnPostingThread };
    using Handler = std::function<void(const JobNotice&)>;

    explicit JobView(Delivery delivery = Delivery::OnTestThread, Handler handler = {})
        : handler_(std::move(handler)),
          events_(delivery == Delivery::OnPostingThread ? JobEventQueue::Wake([this] { take(); })
                                                        : JobEventQueue::Wake()) {}

    JobEventQueue& events() { return events_; }
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    // Sees each batch of events taken off the queue before the handler gets any of them, so
    // that a handler which waits for a state knows of every event posted before its own.
    void setObserver(Handler observer) {
        std::lock_guard lock(mutex_);
        observer_ = std::move(observer);
    }

    // Receives until the job's run has finished.
    template <typename Job>
    void follow(const Job& job) {
        deliverUntilFinished(events_, job.id(), [this](const JobNotice& notice) {
            observe({notice});
            record(notice);
        });
    }

    std::vector<JobNotice> notices() const {
        std::lock_guard lock(mutex_);
        return notices_;
    }
    std::vector<SentMessage> messages() const {
        std::vector<SentMessage> result;
        for (const JobNotice& notice : notices())
            for (const SentMessage& message : userMessagesOf(notice.event))
                result.push_back(message);
        return result;
    }
    std::vector<SentMessage> messagesOf(UserMessage message) const {
        std::vector<SentMessage> result;
        for (const SentMessage& sent : messages())
            if (sent.message == message)
                result.push_back(sent);
        return result;
    }
    // The outcome the last JobFinished carried.
    std::optional<JobOutcome> finished() const {
        std::optional<JobOutcome> outcome;
        for (const JobNotice& notice : notices())
            if (const auto* end = std::get_if<JobFinished>(&notice.event))
                outcome = end->outcome;
        return outcome;
    }

  private:
    void take() {
        const std::vector<JobNotice> batch = events_.drain();
        observe(batch);
        for (const JobNotice& notice : batch)
            record(notice);
    }
    void observe(const std::vector<JobNotice>& batch) {
        Handler observer;
        {
            std::lock_guard lock(mutex_);
            observer = observer_;
        }
        if (observer)
            for (const JobNotice& notice : batch)
                observer(notice);
    }
    void record(const JobNotice& notice) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            notices_.push_back(notice);
            handler = handler_;
        }
        if (handler)
            handler(notice);
    }

    mutable std::mutex mutex_;
    Handler handler_;
    Handler observer_;
    std::vector<JobNotice> notices_;
    JobEventQueue events_;
};

}  // namespace tonalda::test
