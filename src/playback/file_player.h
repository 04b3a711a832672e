#pragma once
// The player in file mode: plays the WAV files of the convert list through the wave-audio device,
// one row at a time. Time is counted as if every file were CD audio after a 44-byte header:
// (size - 44) / 176400 seconds.

#include <cstdint>
#include <optional>
#include <string>

#include "playback/player.h"
#include "playback/wave_player.h"

namespace tonalda {

class ConvertList;
class Prompter;

// Thread: the user-interface thread (the convert list's thread).
class FilePlayer final : public Player {
  public:
    // Both must outlive the player. The device's failures are shown through the prompter.
    FilePlayer(const ConvertList& list, Prompter& prompter);

    // Plays the selected row, or the current row without a selection; nothing when the list is
    // empty.
    void play(std::optional<int> selectedRow) override;
    // The row above or below the current one (staying at the first or last row) from its start.
    void previous() override;
    void next() override;
    // Plays from that fraction of the file's duration.
    void seek(int position) override;
    StatusArea statusArea() const override;

    int currentRow() const { return currentRow_; }
    const WavePlayer& device() const { return device_; }

  private:
    void stopOutput() override;
    void pauseOutput(bool pause) override;
    void advance() override;

    void playCurrentRow();
    std::uint64_t audioBytes() const { return fileSize_ > 44 ? fileSize_ - 44 : 0; }

    const ConvertList& list_;
    Prompter& prompter_;
    WavePlayer device_;
    int currentRow_ = 0;
    std::uint64_t fileSize_ = 0;
    std::string fileName_;  // the playing row's "Filename" when it started
};

}  // namespace tonalda
