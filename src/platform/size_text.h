#pragma once
// The size of audio as the lists show it.

#include <cstdint>
#include <cstdio>
#include <string>

namespace tonalda {

// "%d.%02d MB" of a byte count: whole megabytes and the hundredths cut, not rounded.
// Thread: any.
inline std::string sizeText(std::uint64_t bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%02llu MB", static_cast<unsigned long long>(bytes >> 20),
                  static_cast<unsigned long long>((bytes & 0xFFFFF) * 100 / 0x100000));
    return text;
}

}  // namespace tonalda
