#pragma once
// The WMA settings group: sixteen numbers in the WMA key. The WMA jobs read the in-memory copy
// when they open a writer.

#include <array>
#include <cstdint>
#include <string_view>

namespace tonalda {

class Registry;

struct WmaSettings {
    std::int32_t Bitrate = 0;
    std::int32_t Samplerate = 0;
    std::int32_t DRM = 0;
    std::int32_t Album = 0;
    std::int32_t Artist = 0;
    std::int32_t Comment = 0;
    std::int32_t Composer = 0;
    std::int32_t Copyright = 0;
    std::int32_t Encodedby = 0;
    std::int32_t Orgartist = 0;
    std::int32_t Title = 0;
    std::int32_t Track = 0;
    std::int32_t URL = 0;
    std::int32_t Year = 0;
    std::int32_t Mono = 0;
    std::int32_t Stereo = 0;

    // Reads all sixteen values; stops at the first that cannot be read and then returns false.
    bool load(Registry& registry);
    // Writes every value as the page's Apply does, then loads the group again.
    bool save(Registry& registry);

    // What the writer is opened with: Stereo alone decides the channels.
    std::uint32_t bitrate() const;     // bit/s
    std::uint32_t sampleRate() const;  // Hz
    std::uint32_t channels() const { return Stereo == 1 ? 2 : 1; }

    bool operator==(const WmaSettings&) const = default;
};

// The process-wide copy, zero until loaded. Thread: written on the user-interface thread while no
// job runs; read by the jobs' worker threads.
WmaSettings& wmaSettings();

inline constexpr std::array<std::string_view, 6> kWmaBitrateItems = {
    "48KBit/s", "64KBit/s", "80KBit/s", "96KBit/s", "128KBit/s", "160KBit/s"};
inline constexpr std::array<std::string_view, 10> kWmaSampleRateItems = {
    "Default",   "8000  KHz", "11025 KHz", "12000 KHz", "16000 KHz",
    "22050 KHz", "24000 KHz", "32000 KHz", "44100 KHz", "48000 KHz"};

// List positions to bit/s and Hz; a position off the list gives the first item's value.
std::uint32_t wmaBitrate(std::int32_t position);
std::uint32_t wmaSampleRate(std::int32_t position);

}  // namespace tonalda
