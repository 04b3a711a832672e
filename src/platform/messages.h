#pragma once
// The program's window messages and the synchronous channel that carries them from jobs to views.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

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

// A receiver of window messages. send() returns only after the receiver has handled the message,
// like a synchronous window message; the result is the receiver's answer.
// Thread: any; implementations marshal to their own thread when they need to.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual LParam send(UserMessage message, WParam wParam = 0, LParam lParam = 0) = 0;
};

struct SentMessage {
    UserMessage message;
    WParam wParam;
    LParam lParam;
    bool operator==(const SentMessage&) const = default;
};

// Records every message; an optional handler answers them (on the sending thread).
class RecordingMessageSink final : public MessageSink {
public:
    using Handler = std::function<LParam(const SentMessage&)>;

    explicit RecordingMessageSink(Handler handler = {}) : handler_(std::move(handler)) {}

    LParam send(UserMessage message, WParam wParam = 0, LParam lParam = 0) override {
        const SentMessage sent{message, wParam, lParam};
        {
            std::lock_guard lock(mutex_);
            messages_.push_back(sent);
        }
        return handler_ ? handler_(sent) : 0;
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
    Handler handler_;
};

}  // namespace tonalda
