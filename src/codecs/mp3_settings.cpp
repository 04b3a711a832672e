#include "codecs/mp3_settings.h"

#include <algorithm>

#include "codecs/settings_values.h"

namespace tonalda {

namespace {
constexpr std::string_view kGroup = "MP3";

// Beyond its list a stored value is taken as the value itself.
template <std::size_t N>
std::uint32_t fromList(const std::uint32_t (&list)[N], std::int32_t position) {
    if (position >= 0 && static_cast<std::size_t>(position) < N)
        return list[position];
    return static_cast<std::uint32_t>(position);
}
}  // namespace

namespace {
DwordFields generalFields(Mp3Settings& group) {
    return {{"Copyright", &group.Copyright},       {"CRC", &group.CRC},
            {"Original", &group.Original},         {"Private", &group.Private},
            {"ReSampleRate", &group.ReSampleRate}, {"VBRHeader", &group.VBRHeader},
            {"SampleRate", &group.SampleRate},     {"Mode", &group.Mode}};
}

DwordFields bitrateModeFields(Mp3Settings& group) {
    return {{"CBR", &group.CBR},
            {"CBitResorvoir", &group.CBitResorvoir},
            {"BitRate", &group.BitRate},
            {"VBR", &group.VBR},
            {"VBRQuality", &group.VBRQuality},
            {"MinBitRate", &group.MinBitRate},
            {"MaxBitRate", &group.MaxBitRate},
            {"ABR", &group.ABR},
            {"ABitResorvoir", &group.ABitResorvoir},
            {"ABRBitRate", &group.ABRBitRate}};
}
}  // namespace

bool Mp3Settings::load(Registry& registry) {
    return loadSettingsGroup(registry, kGroup,
                             generalFields(*this) +
                                 DwordFields{{"Preset", &Preset}, {"BPreset", &BPreset}} +
                                 bitrateModeFields(*this));
}

bool Mp3Settings::save(Registry& registry) {
    DwordFields presetFields{{"BPreset", &BPreset}};
    if (BPreset)
        presetFields.push_back({"Preset", &Preset});
    const bool written = saveSettingsGroup(
        registry, kGroup, generalFields(*this) + presetFields + bitrateModeFields(*this));
    return load(registry) && written;
}

Mp3Settings& mp3Settings() {
    static Mp3Settings settings;
    return settings;
}

std::uint32_t mp3SampleRate(std::int32_t position) {
    static constexpr std::uint32_t kRates[] = {44100, 8000,  11025, 12000, 16000,
                                               22050, 24000, 32000, 44100, 48000};
    return fromList(kRates, position);
}

std::uint32_t mp3ConstantBitrate(std::int32_t position) {
    static constexpr std::uint32_t kRates[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                               96, 112, 128, 144, 160, 192, 224, 256, 320};
    return fromList(kRates, position);
}

std::uint32_t mp3VbrBitrate(std::int32_t position) {
    static constexpr std::uint32_t kRates[] = {32,  40,  48,  56,  64,  80,  96,
                                               112, 128, 160, 192, 224, 256, 320};
    return fromList(kRates, position);
}

std::int32_t mp3PresetNumber(std::int32_t stored) {
    // The new-style list is not in LAME's order.
    static constexpr std::int32_t kNewStyle[] = {1, 0, 2, 5, 3, 4, 6, 7, 8, 9, 10, 11, 12};
    if (stored >= 0 && stored < kMp3OldStylePresetBase)
        return kNewStyle[stored];
    if (stored >= kMp3OldStylePresetBase && stored <= 23)
        return std::min(stored - 12, 10) * 1000;
    return stored;
}

}  // namespace tonalda
