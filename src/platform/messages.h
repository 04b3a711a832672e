#pragma once
// The program's window message numbers. Jobs report with typed events (platform/job_events.h);
// the numbers remain where a view's behaviour is described by them, through the adapter below.

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/job_events.h"

namespace tonalda {

constexpr std::uint32_t kFirstUserMessage = 1024;

enum UserMessage : std::uint32_t {
    UM_EXTRACT_PROGRESS = kFirstUserMessage + 100,
    UM_ENCODE_PROGRESS = kFirstUserMessage + 101,
    UM_EXTRACT_DONE = kFirstUserMessage + 102,
    UM_EXTRACT_BEGIN = kFirstUserMessage + 103,
    UM_JOB_BEGIN = kFirstUserMessage + 104,
    UM_JOB_END = kFirstUserMessage + 105,
    UM_ENCODE_BEGIN = kFirstUserMessage + 106,
    UM_ENCODE_DONE = kFirstUserMessage + 107,
    UM_CONVERT_END = kFirstUserMessage + 109,
    UM_TIMER_STOP = kFirstUserMessage + 110,
    UM_TIMER_START = kFirstUserMessage + 111,
    UM_SET_TRACK_TITLE = kFirstUserMessage + 112,
    UM_SHOW_DISC_INFO = kFirstUserMessage + 113,
    UM_GET_TRACK_TITLE = kFirstUserMessage + 114,
    UM_RIP_BEGIN = kFirstUserMessage + 115,
    UM_RIP_END = kFirstUserMessage + 116,
    UM_OPTIONS_CLOSED = kFirstUserMessage + 117,
    UM_PLAY_TRACK = kFirstUserMessage + 118,
    UM_STOP_PLAY = kFirstUserMessage + 119,
    UM_PAUSE_PLAY = kFirstUserMessage + 120,
    UM_NEXT_TRACK = kFirstUserMessage + 121,
    UM_PREV_TRACK = kFirstUserMessage + 122,
    UM_EXTRACT_ERROR = kFirstUserMessage + 123,
    UM_OUTPUT_CHANGED = kFirstUserMessage + 124,
};

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

struct SentMessage {
    UserMessage message;
    WParam wParam;
    LParam lParam;
    bool operator==(const SentMessage&) const = default;
};

// The messages a window of the original design would have received for an event, with values
// only (wParam a progress or 0, lParam a row or 0): a status change of a row gives its begin or
// done message, progress its progress message, JobStarted UM_JOB_BEGIN, JobFinished UM_JOB_END,
// a disc change UM_SHOW_DISC_INFO or UM_SET_TRACK_TITLE. Statuses without a message (Waiting,
// Canceled, Error) and EntryStarted / EntryFinished give none.
std::vector<SentMessage> userMessagesOf(const JobEvent& event);

// Records messages, in order. Thread: any.
class RecordingMessageSink {
  public:
    void send(UserMessage message, WParam wParam = 0, LParam lParam = 0) {
        std::lock_guard lock(mutex_);
        messages_.push_back({message, wParam, lParam});
    }

    std::vector<SentMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    // The messages of one kind, in the order they were sent.
    std::vector<SentMessage> messagesOf(UserMessage message) const {
        std::vector<SentMessage> result;
        for (const auto& sent : messages())
            if (sent.message == message)
                result.push_back(sent);
        return result;
    }

    void clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<SentMessage> messages_;
};

}  // namespace tonalda
