#pragma once
// A disc assembled from image files: runs of sectors taken from BIN or WAV files, and runs of
// silence (pregaps that no file holds).

#include <vector>

#include "disc.h"
#include "posix_file.h"

namespace tonalda::vdrive {

struct Segment {
    int32_t startLba = 0;
    int32_t frames = 0;
    int file = -1;            // index into the disc's files; -1 for a run of silence
    uint64_t byteOffset = 0;  // where the run starts in the file
    uint64_t byteLimit = 0;   // end of the readable bytes; sectors beyond it read as zeros
    int sectorBytes = 2352;   // 2352 raw, 2048 mode 1 user data, 2336 mode 2 user data
    SectorKind kind = SectorKind::Audio;
};

// The outcome of laying image files out on a disc, before any file is read.
struct ImageLayout {
    std::vector<TrackInfo> tracks;
    std::vector<Segment> segments;
    int32_t leadOut = 0;
};

class ImageDisc : public Disc {
  public:
    // Takes the opened files the layout's segments refer to. Throws DiscError for a bad layout.
    ImageDisc(std::vector<PosixFile> files, ImageLayout layout);
    void readSector(int32_t lba, uint8_t* out) const override;

  private:
    std::vector<PosixFile> files_;
    std::vector<Segment> segments_;
};

}  // namespace tonalda::vdrive
