#pragma once
// The identities of the disc in the drive: the CDDB disc ID with its frame offsets and length, and
// the player key that names the disc's local library file and its "cdplayer.ini" section.

#include <array>
#include <cstdint>
#include <string>

#include "cdaccess/cd_types.h"

namespace tonalda {

constexpr int kMaxDiscTracks = 99;

struct DiscIdentity {
    std::uint32_t discId = 0;
    int trackCount = 0;                              // last - first + 1
    std::array<int, kMaxDiscTracks> frameOffsets{};  // (M*60+S)*75+F of each track, lead-in counted
    int leadOutSeconds = 0;                          // M*60+S of the lead-out: the disc length
    bool operator==(const DiscIdentity&) const = default;
};

// The sum of the decimal digits: 190 gives 10.
unsigned digitSum(unsigned value);

// The disc identity from a table of contents read in MSF form. Data tracks count like audio
// tracks. A table whose track numbers are reversed or span more than 99 tracks is read as far as
// its 100 descriptors reach, never beyond.
// Thread: any.
DiscIdentity computeDiscIdentityFromToc(const DiscToc& msfToc);

// The player key from a table of contents read in MSF form: the sum of the audio tracks'
// addresses read as big-endian numbers (M << 16 | S << 8 | F); the lead-out and data tracks do
// not count.
// Thread: any.
std::uint32_t computePlayerKeyFromToc(const DiscToc& msfToc);

// The player key as it names files and sections: upper-case hexadecimal without leading zeros.
std::string playerKeyText(std::uint32_t playerKey);

}  // namespace tonalda
