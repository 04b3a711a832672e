#pragma once
// The wave-audio device of the file player: one WAV file at a time played through the sound
// server's default output. The file's own format is played (its header is read); the program's
// clock, not this device, decides when a file has ended.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "codecs/wav_layout.h"
#include "platform/file.h"

struct pa_stream;

namespace tonalda {

class PulseConnection;

// Thread: one thread at a time (the user-interface thread); the sound server's event thread only
// reads the file on the device's behalf.
class WavePlayer {
  public:
    WavePlayer();
    ~WavePlayer();
    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Opens the device on the file, closing one already open. Nothing plays until play().
    bool open(const std::filesystem::path& file);
    // Plays from the start of the audio.
    bool play();
    // Plays from a sample frame (one sample per channel); beyond the end nothing is left to play.
    bool seekAndPlay(std::uint64_t sampleFrame);
    bool pause();
    bool resume();
    // Silences the device at once and keeps it open.
    bool stop();
    // Closes the device; true also when none was open.
    bool close();

    bool isOpen() const { return stream_ != nullptr; }
    const std::filesystem::path& path() const { return path_; }
    // The file's audio in sample frames.
    std::uint64_t lengthSamples() const;
    // The sample frame the listener hears now: where the last play or seek started plus what the
    // server has played since. 0 when closed.
    std::uint64_t positionSamples() const;
    // The last failure's text (at most 256 characters), "Unknown Error" when it had none.
    std::string errorText() const;

  private:
    bool fail(std::string text);
    bool startAt(std::uint64_t sampleFrame);
    bool cork(bool paused);
    void closeStream();
    void fillStream();  // with the event thread's lock held
    std::uint64_t streamMicros() const;

    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    std::filesystem::path path_;
    UniqueFile file_;
    WavLayout layout_;
    std::uint32_t frameBytes_ = 0;  // bytes of one sample frame
    // Where in the audio data the next write reads from, in bytes (event thread and commands,
    // under the lock).
    std::uint64_t nextByte_ = 0;
    std::uint64_t startSample_ = 0;  // where the last play or seek started
    std::uint64_t startMicros_ = 0;  // the stream's clock at that moment
    std::vector<std::uint8_t> chunk_;
    std::string error_;
};

}  // namespace tonalda
