#pragma once
// The cancel switch of one job. The job's owner requests the stop; the worker and the code it
// runs (extraction loop, encoders, network waits, prompts) poll it between blocks and wind down,
// removing what they had half made. Every job owns its own token, so starting or cancelling one
// job never touches another's; the GUI's Cancel button stops the one job it lets run at a time
// through that job's token.

#include <atomic>

namespace tonalda {

// Thread: any; never blocks.
class CancelToken {
  public:
    CancelToken() = default;
    CancelToken(const CancelToken&) = delete;
    CancelToken& operator=(const CancelToken&) = delete;

    void requestStop() noexcept { stop_.store(true); }
    bool stopRequested() const noexcept { return stop_.load(); }
    // Made ready for the next run of its job; only while no worker uses it.
    void reset() noexcept { stop_.store(false); }

  private:
    std::atomic<bool> stop_{false};
};

// A token nobody ever stops, for work that has no cancel (tests, one-off tools).
inline const CancelToken& neverCancelled() {
    static const CancelToken token;
    return token;
}

}  // namespace tonalda
