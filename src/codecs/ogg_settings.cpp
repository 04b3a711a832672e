#include "codecs/ogg_settings.h"

#include <cstdio>

#include "codecs/settings_values.h"

namespace tonalda {

namespace {
constexpr std::string_view kGroup = "OGG";
constexpr long kBitrates[] = {-1,    32000,  40000,  48000,  64000,  80000,
                              96000, 128000, 160000, 196000, 256000, 350000};
constexpr long kDefaultNominalBitrate = 128000;
}  // namespace

bool OggSettings::load(Registry& registry) {
    return loadSettingsGroup(registry, kGroup,
                             tagSwitchFields(*this) + DwordFields{{"Minrate", &Minrate},
                                                                  {"Samplerate", &Samplerate},
                                                                  {"Maxrate", &Maxrate},
                                                                  {"Stereo", &Stereo},
                                                                  {"Mono", &Mono},
                                                                  {"Normrate", &Normrate},
                                                                  {"VBR", &VBR},
                                                                  {"Quality", &Quality}});
}

bool OggSettings::save(Registry& registry) {
    const bool written =
        saveSettingsGroup(registry, kGroup,
                          tagSwitchFields(*this) + DwordFields{{"Mono", &Mono},
                                                               {"Stereo", &Stereo},
                                                               {"Minrate", &Minrate},
                                                               {"Normrate", &Normrate},
                                                               {"Maxrate", &Maxrate},
                                                               {"Samplerate", &Samplerate},
                                                               {"Quality", &Quality},
                                                               {"VBR", &VBR}});
    return load(registry) && written;
}

OggSettings& oggSettings() {
    static OggSettings settings;
    return settings;
}

long oggSampleRate(std::int32_t position) {
    static constexpr long kRates[] = {44100, 8000,  11025, 12000, 16000,
                                      22050, 24000, 32000, 44100, 48000};
    if (position < 0 || position >= static_cast<std::int32_t>(std::size(kRates)))
        return 0;
    return kRates[position];
}

long oggLimitBitrate(std::int32_t position) {
    if (position < 0 || position >= static_cast<std::int32_t>(std::size(kBitrates)))
        return -1;
    return kBitrates[position];
}

long oggNominalBitrate(std::int32_t position) {
    const long rate = oggLimitBitrate(position);
    return rate < 0 ? kDefaultNominalBitrate : rate;
}

float oggBaseQuality(std::int32_t slider) {
    return static_cast<float>(slider) / 100.0f;
}

std::string_view oggQualityText(std::int32_t slider, std::array<char, 16>& buffer) {
    const int length =
        std::snprintf(buffer.data(), buffer.size(), "%d.%d", slider / 10, slider % 10);
    return {buffer.data(), static_cast<std::size_t>(length)};
}

}  // namespace tonalda
