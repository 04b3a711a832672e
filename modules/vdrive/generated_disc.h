#pragma once
// Generated discs: a short text names the tracks, their lengths and kinds and a seed, and every
// sector is computed when it is read (nothing is held in memory), always the same for the same
// text.
//
//   # the demo disc
//   seed 7
//   track audio 0:32:00
//   track audio 0:27 pregap 0:02:00
//   track data 1:00:00
//
// Lengths are M:SS:FF, M:SS or a frame count. The inline form for $TONALDA_VDRIVE writes the
// lines separated by '/': "gen:seed 7/track audio 0:32/track data 1:00".

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "disc.h"

namespace tonalda::vdrive {

struct GeneratedTrack {
    SectorKind kind = SectorKind::Audio;
    int32_t frames = 0;  // from INDEX 01 to the next track
    int32_t pregap = 0;  // frames before INDEX 01: silence, or empty data sectors
};

struct DiscDescription {
    uint64_t seed = 1;
    std::vector<GeneratedTrack> tracks;
};

// Throws DiscError naming `origin` and the line for anything it does not understand.
DiscDescription parseDiscDescription(const std::string& text, const std::string& origin);
DiscDescription loadDiscDescription(const std::filesystem::path& path);

class GeneratedDisc : public Disc {
  public:
    explicit GeneratedDisc(DiscDescription description);
    ~GeneratedDisc() override;
    void readSector(int32_t lba, uint8_t* out) const override;

  private:
    struct Voicing;
    void renderAudio(size_t track, int64_t firstSample, int16_t* out) const;
    void renderData(int32_t lba, uint8_t* out) const;

    DiscDescription description_;
    std::vector<Voicing> voicings_;
};

}  // namespace tonalda::vdrive
