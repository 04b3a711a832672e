#pragma once
// What the player and volume tests share: one private sound server for the test executable, WAV
// files of recognisable audio, finding recorded audio in its source, and an observer that keeps
// what the player told.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/player.h"
#include "support/pulse_server.h"

namespace tonalda::test {

// The sound server of the test executable, started by the first test that needs it.
PulseServer& soundServer();

// $PULSE_SERVER set to something else while the scope lives.
class ScopedPulseServer {
  public:
    explicit ScopedPulseServer(const std::string& server);
    ~ScopedPulseServer();
    ScopedPulseServer(const ScopedPulseServer&) = delete;
    ScopedPulseServer& operator=(const ScopedPulseServer&) = delete;

  private:
    std::optional<std::string> outer_;
};

// Interleaved 16-bit stereo samples that never hold a silent frame and never repeat within a
// file, so that any recorded stretch names the place it came from.
std::vector<std::int16_t> distinctAudio(std::size_t frames, unsigned seed);

// A canonical CD-audio WAV file (44-byte header) holding the samples.
void writeWav(const std::filesystem::path& file, const std::vector<std::int16_t>& samples);

// Where a stretch of recorded audio starts in its source, in frames: the recording from frame
// `at` on is searched for in the source by its first 64 frames.
std::optional<std::size_t> sourceFrameOf(const std::vector<std::int16_t>& source,
                                         const std::vector<std::int16_t>& recording,
                                         std::size_t at);
// The number of frames from recording frame `at` on that equal the source from `sourceFrame` on.
std::size_t matchingFrames(const std::vector<std::int16_t>& source, std::size_t sourceFrame,
                           const std::vector<std::int16_t>& recording, std::size_t at);
// The first frame of the recording from `from` on that is not silent, or its frame count.
std::size_t firstSoundFrame(const std::vector<std::int16_t>& recording, std::size_t from = 0);
std::size_t soundFrames(const std::vector<std::int16_t>& recording);

// Keeps every state and timer change the player reports.
class RecordingObserver final : public PlayerObserver {
  public:
    void transportChanged(const TransportState& state) override { states.push_back(state); }
    void timerChanged(bool running) override { timer.push_back(running); }

    std::vector<TransportState> states;
    std::vector<bool> timer;
};

}  // namespace tonalda::test
