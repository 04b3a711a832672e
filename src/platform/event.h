#pragma once
// A manual-reset event: once set it stays set, waking every waiter, until it is reset.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/completion_event.h"

namespace tonalda {

// Thread: any.
class ManualResetEvent {
public:
    ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set or the timeout passes; true when it was set.
    bool wait(std::chrono::milliseconds timeout) const;

    // The C view handed to run-time modules; valid while this object lives.
    TonaldaCompletionEvent* handle() { return &abi_.view; }

private:
    struct AbiView {
        TonaldaCompletionEvent view;
        ManualResetEvent* owner;
    };
    static void setThroughHandle(TonaldaCompletionEvent* self);

    AbiView abi_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool signaled_ = false;
};

}  // namespace tonalda
