#include "codecs/wma_settings.h"

#include <iterator>

#include "codecs/settings_values.h"

namespace tonalda {

namespace {
constexpr std::string_view kGroup = "WMA";
}

bool WmaSettings::load(Registry& registry) {
    return loadSettingsGroup(registry, kGroup,
                             tagSwitchFields(*this) + DwordFields{{"Bitrate", &Bitrate},
                                                                  {"Samplerate", &Samplerate},
                                                                  {"DRM", &DRM},
                                                                  {"Stereo", &Stereo},
                                                                  {"Mono", &Mono}});
}

bool WmaSettings::save(Registry& registry) {
    const bool written =
        saveSettingsGroup(registry, kGroup,
                          tagSwitchFields(*this) + DwordFields{{"DRM", &DRM},
                                                               {"Mono", &Mono},
                                                               {"Stereo", &Stereo},
                                                               {"Bitrate", &Bitrate},
                                                               {"Samplerate", &Samplerate}});
    return load(registry) && written;
}

std::uint32_t WmaSettings::bitrate() const {
    return wmaBitrate(Bitrate);
}

std::uint32_t WmaSettings::sampleRate() const {
    return wmaSampleRate(Samplerate);
}

WmaSettings& wmaSettings() {
    static WmaSettings settings;
    return settings;
}

std::uint32_t wmaBitrate(std::int32_t position) {
    static constexpr std::uint32_t kRates[] = {48000, 64000, 80000, 96000, 128000, 160000};
    if (position < 0 || position >= static_cast<std::int32_t>(std::size(kRates)))
        return kRates[0];
    return kRates[position];
}

std::uint32_t wmaSampleRate(std::int32_t position) {
    static constexpr std::uint32_t kRates[] = {44100, 8000,  11025, 12000, 16000,
                                               22050, 24000, 32000, 44100, 48000};
    if (position < 0 || position >= static_cast<std::int32_t>(std::size(kRates)))
        return kRates[0];
    return kRates[position];
}

}  // namespace tonalda
