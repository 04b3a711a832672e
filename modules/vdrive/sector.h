#pragma once
// CD sector geometry and the raw layout of data sectors (sync, header, EDC and ECC).

#include <cstdint>
#include <string>

namespace tonalda::vdrive {

inline constexpr int kFrameBytes = 2352;
inline constexpr int kCookedBytes = 2048;
inline constexpr int kFramesPerSecond = 75;
inline constexpr int kLeadInFrames = 150;
// The longest disc we accept: 99 minutes, beyond any real medium.
inline constexpr int32_t kMaxDiscFrames = 99 * 60 * kFramesPerSecond;

struct Msf {
    int minute = 0;
    int second = 0;
    int frame = 0;
};

// LBA 0 is 00:02:00 (the lead-in counts).
Msf lbaToMsf(int32_t lba);
int32_t msfToLba(int minute, int second, int frame);

// Parses a length "M:SS:FF", "M:SS" or a plain frame count; returns -1 when malformed or longer
// than any disc.
int32_t parseFrames(const std::string& text);

// Fills a 2352-byte mode 1 sector for `lba` around the 2048 user-data bytes already at offset 16:
// sync pattern, header, EDC, zero field and the P and Q parity of the layered error correction.
void completeMode1Sector(int32_t lba, uint8_t* sector);

// Fills sync and header of a mode 2 (formless) sector around 2336 user-data bytes at offset 16.
void completeMode2Sector(int32_t lba, uint8_t* sector);

}  // namespace tonalda::vdrive
