#pragma once
// A disc as a drive sees it: a table of tracks and a run of 2352-byte raw sectors from LBA 0 to
// the lead-out, read one sector at a time from wherever the disc keeps them.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tonalda::vdrive {

// A disc that cannot be loaded, or a sector that cannot be read; the text says what and where.
class DiscError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class SectorKind : uint8_t { Audio, Mode1, Mode2 };

struct TrackInfo {
    int number = 1;
    int32_t startLba = 0;    // INDEX 01
    int32_t pregapLba = -1;  // INDEX 00 when the track has a pregap before INDEX 01
    SectorKind kind = SectorKind::Audio;
    uint8_t control = 0;  // the TOC control nibble: 0x04 data, 0x02 copy permitted, 0x01 emphasis
    bool isData() const { return kind != SectorKind::Audio; }
};

class Disc {
  public:
    virtual ~Disc() = default;

    const std::vector<TrackInfo>& tracks() const { return tracks_; }
    int32_t leadOut() const { return leadOut_; }
    // The track a sector belongs to: a pregap belongs to the track it leads into, and sectors
    // before the first track belong to it.
    const TrackInfo& trackAt(int32_t lba) const;
    // The first sector of track `index` (0-based), its pregap included.
    int32_t regionStart(size_t index) const;

    // Reads the raw sector at `lba` (0 <= lba < leadOut) into 2352 bytes: audio samples as the
    // drive delivers them, or a complete data sector. Throws DiscError when the source fails.
    // Thread: any; implementations keep no per-read state.
    virtual void readSector(int32_t lba, uint8_t* out) const = 0;

  protected:
    // Checks the table (numbering, increasing starts, room for every track) and keeps it.
    void setLayout(std::vector<TrackInfo> tracks, int32_t leadOut);

  private:
    std::vector<TrackInfo> tracks_;
    int32_t leadOut_ = 0;
};

// Opens the disc named by a drive's SOURCE: a .cue sheet, a folder of WAV files, a generated-disc
// description file, or an inline description starting with "gen:". Throws DiscError.
std::unique_ptr<Disc> openDisc(const std::string& source);

}  // namespace tonalda::vdrive
