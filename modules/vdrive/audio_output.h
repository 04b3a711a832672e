#pragma once
// The drive's own audio output for PLAY AUDIO: streams a range of the disc to the sound server
// (PulseAudio, or PipeWire serving its protocol). Without a server the drive plays silently; it
// never starts one.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "disc.h"

struct pa_threaded_mainloop;

namespace tonalda::vdrive {

class AudioOutput {
  public:
    explicit AudioOutput(const Disc& disc) : disc_(disc) {}
    ~AudioOutput() { stop(); }
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Starts streaming [from, end) in the background, ending any earlier stream. Thread: any, one
    // at a time (the drive serialises its commands).
    void play(int32_t from, int32_t end);
    // Ends the stream at once and waits for its thread.
    void stop();

  private:
    void stream(int32_t from, int32_t end);
    bool stopRequested() const { return stopping_.load(); }

    const Disc& disc_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::mutex loopMutex_;  // guards loop_ between the stream thread and stop()
    pa_threaded_mainloop* loop_ = nullptr;
};

}  // namespace tonalda::vdrive
