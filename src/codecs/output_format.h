#pragma once
// The target format of a rip or conversion, stored as its list position.

#include <array>
#include <cstdint>
#include <string_view>

namespace tonalda {

enum class OutputFormat : std::int32_t { Wav = 0, Mp3 = 1, Wma = 2, Ogg = 3 };

inline constexpr std::array<std::string_view, 4> kOutputFormatNames = {"WAV File", "MP3 File",
                                                                       "WMA File", "Ogg Vorbis"};
inline constexpr std::array<std::string_view, 4> kOutputFormatExtensions = {".wav", ".mp3", ".wma",
                                                                            ".ogg"};

inline bool isOutputFormat(std::int32_t position) {
    return position >= 0 && position < 4;
}

// The name shown in the track list's Output column; empty for a position outside the list.
inline std::string_view outputFormatName(std::int32_t position) {
    return isOutputFormat(position) ? kOutputFormatNames[static_cast<std::size_t>(position)]
                                    : std::string_view{};
}

// The extension with its dot; empty for a position outside the list.
inline std::string_view outputFormatExtension(std::int32_t position) {
    return isOutputFormat(position) ? kOutputFormatExtensions[static_cast<std::size_t>(position)]
                                    : std::string_view{};
}

}  // namespace tonalda
