#pragma once
// The MP3 settings group: twenty numbers in the MP3 key. The MP3 encoder reads the key afresh
// whenever a job prepares it; this in-memory copy serves the settings page.

#include <array>
#include <cstdint>
#include <string_view>

namespace tonalda {

class Registry;

struct Mp3Settings {
    std::int32_t Preset = 0;
    std::int32_t VBR = 0;
    std::int32_t CBR = 0;
    std::int32_t ABR = 0;
    std::int32_t Copyright = 0;
    std::int32_t CRC = 0;
    std::int32_t Private = 0;
    std::int32_t VBRHeader = 0;
    std::int32_t ReSampleRate = 0;
    std::int32_t Original = 0;
    std::int32_t SampleRate = 0;
    std::int32_t Mode = 0;
    std::int32_t CBitResorvoir = 0;
    std::int32_t VBRQuality = 0;
    std::int32_t ABitResorvoir = 0;
    std::int32_t BitRate = 0;
    std::int32_t MaxBitRate = 0;
    std::int32_t MinBitRate = 0;
    std::int32_t ABRBitRate = 0;
    std::int32_t BPreset = 0;

    // Reads all twenty values; stops at the first that cannot be read and then returns false.
    bool load(Registry& registry);
    // Writes the group as the page's Apply does: Preset only while BPreset is set (otherwise the
    // stored preset is kept), then loads the group again.
    bool save(Registry& registry);

    bool operator==(const Mp3Settings&) const = default;
};

// The process-wide copy, zero until loaded. Thread: the user-interface thread.
Mp3Settings& mp3Settings();

// The page's drop-down lists, in order.
inline constexpr std::array<std::string_view, 10> kMp3SampleRateItems = {
    "Default",   "8000  KHz", "11025 KHz", "12000 KHz", "16000 KHz",
    "22050 KHz", "24000 KHz", "32000 KHz", "44100 KHz", "48000 KHz"};
inline constexpr std::array<std::string_view, 4> kMp3ModeItems = {"Stereo", "JStereo",
                                                                  "Dual Channel", "Mono"};
inline constexpr std::array<std::string_view, 13> kMp3NewStylePresetItems = {
    "LOW QUALITY", "NORMAL QUALITY", "HIGH QUALITY", "VERYHIGH QUALITY", "VOICE QUALITY", "R3MIX",
    "STANDARD",    "FAST STANDARD",  "EXTREME",      "FAST_EXTREME",     "INSANE",        "ABR",
    "CBR"};
inline constexpr std::array<std::string_view, 10> kMp3OldStylePresetItems = {
    "PHONE", "SW", "AM", "FM", "VOICE", "RADIO", "TAPE", "HIFI", "CD", "STUDIO"};
inline constexpr std::array<std::string_view, 18> kMp3ConstantBitrateItems = {
    "8   Kbit/s", "16  Kbit/s", "24  Kbit/s", "32  Kbit/s", "40  Kbit/s", "48  Kbit/s",
    "56  Kbit/s", "64  Kbit/s", "80  Kbit/s", "96  Kbit/s", "112 Kbit/s", "128 Kbit/s",
    "144 Kbit/s", "160 Kbit/s", "192 Kbit/s", "224 Kbit/s", "256 Kbit/s", "320 Kbit/s"};
inline constexpr std::array<std::string_view, 10> kMp3VbrQualityItems = {"0", "1", "2", "3", "4",
                                                                         "5", "6", "7", "8", "9"};
inline constexpr std::array<std::string_view, 14> kMp3VbrBitrateItems = {
    "32  Kbit/s", "40  Kbit/s", "48  Kbit/s", "56  Kbit/s", "64  Kbit/s",
    "80  Kbit/s", "96  Kbit/s", "112 Kbit/s", "128 Kbit/s", "160 Kbit/s",
    "192 Kbit/s", "224 Kbit/s", "256 Kbit/s", "320 Kbit/s"};

// Old-style presets are stored after the thirteen new-style ones.
inline constexpr std::int32_t kMp3OldStylePresetBase = 13;

// The ABR slider: position × 10 + 8000 bit/s, positions 0 to 31200.
inline constexpr std::int32_t kMp3AbrSliderMax = 31200;
constexpr std::int32_t mp3AbrBitRateFromSlider(std::int32_t position) {
    return position * 10 + 8000;
}
constexpr std::int32_t mp3AbrSliderFromBitRate(std::int32_t bitRate) {
    return (bitRate - 8000) / 10;
}

// Tables A to D: list positions to what the encoder receives.
std::uint32_t mp3SampleRate(std::int32_t position);       // Hz
std::uint32_t mp3ConstantBitrate(std::int32_t position);  // kbit/s
std::uint32_t mp3VbrBitrate(std::int32_t position);       // kbit/s
std::int32_t mp3PresetNumber(std::int32_t stored);        // LAME's preset number

}  // namespace tonalda
