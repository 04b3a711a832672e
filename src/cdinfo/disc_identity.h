#pragma once
// The identities of the disc in the drive: the CDDB disc ID with its frame offsets and length, and
// the player key that names the disc's local library file and its "cdplayer.ini" section.

#include <array>
#include <cstdint>
#include <string>

#include "cdaccess/cd_types.h"

namespace tonalda {

class CdEngine;

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

// The disc identity of the disc in an open drive session, read in MSF form under the session
// lock; the session's address mode is put back before the lock is released. Returns 1, or 4 with
// the engine's last error set: -7 for a handle that is not an open session, -11 when the lock is
// not obtained within 10 seconds, or the error of the failed table-of-contents read (a table that
// could not be read gives no identity).
// Thread: any (the CDDB lookup thread while the user interface uses the same session).
int computeDiscIdentity(CdEngine& engine, int handle, DiscIdentity& identity);

// The player key of the disc in an open drive session. Leaves the session in MSF mode. A table
// that cannot be read counts as all zeros and gives the key 0.
// Thread: the user interface thread.
std::uint32_t computePlayerKey(CdEngine& engine, int handle);

// The player key as it names files and sections: upper-case hexadecimal without leading zeros.
std::string playerKeyText(std::uint32_t playerKey);

}  // namespace tonalda
