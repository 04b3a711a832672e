#include "sector.h"

#include <array>
#include <charconv>
#include <cstring>

namespace tonalda::vdrive {

Msf lbaToMsf(int32_t lba) {
    const int32_t f = lba + kLeadInFrames;
    return {f / (60 * kFramesPerSecond), (f / kFramesPerSecond) % 60, f % kFramesPerSecond};
}

int32_t msfToLba(int minute, int second, int frame) {
    return (minute * 60 + second) * kFramesPerSecond + frame - kLeadInFrames;
}

namespace {

bool parseInt(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

// The EDC is a CRC-32 over the reversed polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1).
struct EdcTable {
    std::array<uint32_t, 256> entries{};
    EdcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t edc = i;
            for (int bit = 0; bit < 8; ++bit) {
                edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0);
            }
            entries[i] = edc;
        }
    }
};

// Multiplication by alpha in GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1, and its
// inverse of (1 + alpha), which the two-byte Reed-Solomon parity needs.
struct GfTables {
    std::array<uint8_t, 256> forward{};
    std::array<uint8_t, 256> backward{};
    GfTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t doubled = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
            forward[i] = static_cast<uint8_t>(doubled);
            backward[i ^ doubled] = static_cast<uint8_t>(i);
        }
    }
};

const EdcTable kEdc;
const GfTables kGf;

uint32_t computeEdc(const uint8_t* data, size_t size) {
    uint32_t edc = 0;
    for (size_t i = 0; i < size; ++i) {
        edc = (edc >> 8) ^ kEdc.entries[(edc ^ data[i]) & 0xFF];
    }
    return edc;
}

// One parity pass over the 2340 bytes from the header on: each "major" vector of `minorCount`
// bytes, taken with stride `minorStep`, gets two parity bytes.
void computeParity(const uint8_t* source, int majorCount, int minorCount, int majorStep,
                   int minorStep, uint8_t* parity) {
    const int size = majorCount * minorCount;
    for (int major = 0; major < majorCount; ++major) {
        int index = (major >> 1) * majorStep + (major & 1);
        uint8_t a = 0;
        uint8_t b = 0;
        for (int minor = 0; minor < minorCount; ++minor) {
            const uint8_t value = source[index];
            index += minorStep;
            if (index >= size) {
                index -= size;
            }
            a ^= value;
            b ^= value;
            a = kGf.forward[a];
        }
        a = kGf.backward[kGf.forward[a] ^ b];
        parity[major] = a;
        parity[major + majorCount] = a ^ b;
    }
}

uint8_t toBcd(int value) {
    return static_cast<uint8_t>((value / 10) << 4 | (value % 10));
}

void writeSyncAndHeader(int32_t lba, uint8_t mode, uint8_t* sector) {
    sector[0] = 0;
    std::memset(sector + 1, 0xFF, 10);
    sector[11] = 0;
    const Msf msf = lbaToMsf(lba);
    sector[12] = toBcd(msf.minute);
    sector[13] = toBcd(msf.second);
    sector[14] = toBcd(msf.frame);
    sector[15] = mode;
}

}  // namespace

int32_t parseFrames(const std::string& text) {
    int64_t parts[3] = {0, 0, 0};
    int count = 0;
    size_t begin = 0;
    while (true) {
        const size_t colon = text.find(':', begin);
        const std::string_view part(text.data() + begin,
                                    (colon == std::string::npos ? text.size() : colon) - begin);
        if (count == 3 || !parseInt(part, parts[count])) {
            return -1;
        }
        ++count;
        if (colon == std::string::npos) {
            break;
        }
        begin = colon + 1;
    }
    int64_t frames = 0;
    if (count == 1) {
        frames = parts[0];
    } else {
        if (parts[1] >= 60 || (count == 3 && parts[2] >= kFramesPerSecond)) {
            return -1;
        }
        frames = (parts[0] * 60 + parts[1]) * kFramesPerSecond + (count == 3 ? parts[2] : 0);
    }
    return frames > kMaxDiscFrames ? -1 : static_cast<int32_t>(frames);
}

void completeMode1Sector(int32_t lba, uint8_t* sector) {
    writeSyncAndHeader(lba, 1, sector);
    const uint32_t edc = computeEdc(sector, 2064);
    for (int i = 0; i < 4; ++i) {
        sector[2064 + i] = static_cast<uint8_t>(edc >> (8 * i));
    }
    std::memset(sector + 2068, 0, 8);
    computeParity(sector + 12, 86, 24, 2, 86, sector + 2076);
    computeParity(sector + 12, 52, 43, 86, 88, sector + 2248);
}

void completeMode2Sector(int32_t lba, uint8_t* sector) {
    writeSyncAndHeader(lba, 2, sector);
}

}  // namespace tonalda::vdrive
