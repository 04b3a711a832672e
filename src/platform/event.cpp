#include "platform/event.h"

#include <cstddef>

namespace tonalda {

static_assert(std::is_standard_layout_v<TonaldaCompletionEvent>);

ManualResetEvent::ManualResetEvent() : abi_{{&ManualResetEvent::setThroughHandle}, this} {}

void ManualResetEvent::setThroughHandle(TonaldaCompletionEvent* self) {
    // The C view is the first member of AbiView, so the record's address is the view's.
    reinterpret_cast<AbiView*>(self)->owner->set();
}

void ManualResetEvent::set() {
    // Notifying under the lock keeps a waiter that returns and destroys the event from racing
    // with this call: it cannot return before the lock is released here.
    std::lock_guard lock(mutex_);
    signaled_ = true;
    changed_.notify_all();
}

void ManualResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signaled_ = false;
}

bool ManualResetEvent::isSet() const {
    std::lock_guard lock(mutex_);
    return signaled_;
}

bool ManualResetEvent::wait(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return signaled_; });
}

}  // namespace tonalda
