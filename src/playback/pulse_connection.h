#pragma once
// One connection to the sound server (PulseAudio, or PipeWire serving its protocol) with an event
// thread of its own. Every wait has a deadline, so a missing or silent server costs at most the
// timeout and never hangs the caller; a server is never started on the user's behalf.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

namespace tonalda {

// How long connecting, and each request after it, may take.
constexpr std::chrono::milliseconds kSoundServerTimeout{1500};

// Whether the sound server can be reached, and why not.
struct SoundServerStatus {
    bool available = false;
    std::string reason;  // empty when available
};

// Connects once and reports. Thread: any.
SoundServerStatus probeSoundServer(std::chrono::milliseconds timeout = kSoundServerTimeout);

class PulseConnection {
  public:
    // Connects within the timeout; ready() tells whether that worked. Thread: any.
    explicit PulseConnection(std::string_view clientName,
                             std::chrono::milliseconds timeout = kSoundServerTimeout);
    // Disconnects and ends the event thread; no callback runs after it returns.
    // Thread: any but the event thread.
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool ready() const { return ready_; }
    // Why the connection could not be made; empty when ready.
    const std::string& failure() const { return failure_; }

    pa_threaded_mainloop* loop() const { return loop_.get(); }
    pa_context* context() const { return context_.get(); }

    // Holds the event thread's lock: every use of the context and its streams happens under it.
    // Thread: any but the event thread (whose callbacks hold the lock already).
    class Lock {
      public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        pa_threaded_mainloop* loop_;
    };

    // With the lock held: waits until done() holds, the connection breaks, or the timeout passes.
    // True when done() holds. Callbacks that change what done() reads must wake the waiter
    // (wake() from the event thread).
    bool waitUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = kSoundServerTimeout) const;
    // With the lock held: waits for the request to finish and releases it; a request still
    // running at the deadline is cancelled (its callback will not run). False for a null
    // request, a cancelled one, or a broken connection.
    bool finish(pa_operation* operation,
                std::chrono::milliseconds timeout = kSoundServerTimeout) const;
    // Wakes a waiter. Thread: the event thread, or any with the lock held.
    void wake() const;
    // The connection is still up. With the lock held.
    bool alive() const;
    // The server's last error as text, "Unknown Error" when it gave none. With the lock held.
    std::string errorText() const;

  private:
    struct LoopDeleter {
        void operator()(pa_threaded_mainloop* loop) const;
    };
    struct ContextDeleter {
        void operator()(pa_context* context) const;
    };

    std::unique_ptr<pa_threaded_mainloop, LoopDeleter> loop_;
    std::unique_ptr<pa_context, ContextDeleter> context_;
    bool ready_ = false;
    std::string failure_;
};

// The text shown when a failure has no text of its own.
inline constexpr std::string_view kUnknownError = "Unknown Error";

}  // namespace tonalda
