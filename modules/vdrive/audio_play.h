#pragma once
// The drive's audio play operation: PLAY AUDIO, PAUSE/RESUME and stop, with a position that
// advances in real time and the sound sent to the sound server alongside.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "audio_output.h"

namespace tonalda::vdrive {

class AudioPlay {
  public:
    // The audio status READ SUB-CHANNEL reports.
    enum class Status : uint8_t { Playing = 0x11, Paused = 0x12, Completed = 0x13, None = 0x15 };

    // `output` may be null: the play then keeps time silently.
    explicit AudioPlay(std::unique_ptr<AudioOutput> output) : output_(std::move(output)) {}

    // Thread: the drive's command thread (all calls run under the drive's lock).
    void start(int32_t from, int32_t end);
    void pause();
    void resume();
    void stop();
    // Playing or paused (a play that reached its end is neither).
    bool active();
    // Where a play that is active or just completed stands.
    std::optional<int32_t> position();
    // The status, reporting a completed play once.
    Status takeStatus();

  private:
    enum class State { Idle, Playing, Paused, Completed };
    void refresh();

    std::unique_ptr<AudioOutput> output_;
    State state_ = State::Idle;
    int32_t from_ = 0;  // where playing (re)started
    int32_t end_ = 0;
    int32_t position_ = 0;
    std::chrono::steady_clock::time_point clock_{};
};

}  // namespace tonalda::vdrive
