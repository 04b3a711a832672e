#pragma once
// The Ogg Vorbis settings group: nineteen numbers in the OGG key. The Ogg encoder reads the
// in-memory copy each time it sets up a file.

#include <array>
#include <cstdint>
#include <string_view>

namespace tonalda {

class Registry;

struct OggSettings {
    std::int32_t VBR = 0;
    std::int32_t Album = 0;
    std::int32_t Artist = 0;
    std::int32_t Composer = 0;
    std::int32_t Copyright = 0;
    std::int32_t Title = 0;
    std::int32_t Track = 0;
    std::int32_t URL = 0;
    std::int32_t Year = 0;
    std::int32_t Maxrate = 0;
    std::int32_t Minrate = 0;
    std::int32_t Normrate = 0;
    std::int32_t Samplerate = 0;
    std::int32_t Quality = 0;
    std::int32_t Mono = 0;
    std::int32_t Stereo = 0;
    std::int32_t Comment = 0;
    std::int32_t Encodedby = 0;
    std::int32_t Orgartist = 0;

    // Reads all nineteen values; stops at the first that cannot be read and then returns false.
    bool load(Registry& registry);
    // Writes every value as the page's Apply does, then loads the group again.
    bool save(Registry& registry);

    bool operator==(const OggSettings&) const = default;
};

// The process-wide copy, zero until loaded. Thread: written on the user-interface thread while no
// job runs; read by the Ogg encoder on a job's worker thread.
OggSettings& oggSettings();

inline constexpr std::array<std::string_view, 10> kOggSampleRateItems = {
    "Default",  "8000  Hz", "11025 Hz", "12000 Hz", "16000 Hz",
    "22050 Hz", "24000 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
inline constexpr std::array<std::string_view, 12> kOggBitrateItems = {
    "Default",  "32Kbit/s",  "40Kbit/s",  "48Kbit/s",  "64Kbit/s",  "80Kbit/s",
    "96Kbit/s", "128Kbit/s", "160Kbit/s", "196Kbit/s", "256Kbit/s", "350Kbit/s"};

// Table A: sample-rate list position to Hz; 0 for a position off the list.
long oggSampleRate(std::int32_t position);
// Table B: bitrate list position to bit/s. The "Default" position gives -1 (no limit) for a
// minimum or maximum and 128000 for the nominal rate; off the list gives -1 as well.
long oggLimitBitrate(std::int32_t position);
long oggNominalBitrate(std::int32_t position);
// The quality slider (0 to 100) as libvorbisenc's base quality (0.0 to 1.0).
float oggBaseQuality(std::int32_t slider);
// The page's value text for a slider position: "3.5" for 35.
std::string_view oggQualityText(std::int32_t slider, std::array<char, 16>& buffer);

}  // namespace tonalda
