#pragma once
// Template part of wav_format.h.

#include <cstring>

#include "disc.h"

namespace tonalda::vdrive {

namespace wav_detail {
inline uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
}  // namespace wav_detail

template <typename ReadAt>
WavData locateWavData(ReadAt&& readAt, uint64_t fileSize, const std::string& name) {
    using wav_detail::le16;
    using wav_detail::le32;
    uint8_t riff[12];
    if (readAt(0, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        throw DiscError(name + ": not a RIFF/WAVE file");
    }
    bool haveFormat = false;
    uint64_t position = 12;
    // A chunk list longer than this is not a sound file but garbage.
    for (int chunks = 0; chunks < 1000 && position + 8 <= fileSize; ++chunks) {
        uint8_t head[8];
        if (readAt(position, head, 8) != 8) {
            break;
        }
        const uint64_t size = le32(head + 4);
        const uint64_t body = position + 8;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (size < 16 || readAt(body, fmt, 16) != 16) {
                throw DiscError(name + ": truncated format chunk");
            }
            const uint16_t tag = le16(fmt);
            const uint16_t channels = le16(fmt + 2);
            const uint32_t rate = le32(fmt + 4);
            const uint16_t bits = le16(fmt + 14);
            const bool extensiblePcm = tag == 0xFFFE;  // WAVE_FORMAT_EXTENSIBLE, PCM checked below
            if ((tag != 1 && !extensiblePcm) || channels != 2 || rate != 44100 || bits != 16) {
                throw DiscError(name + ": " + std::to_string(rate) + " Hz, " +
                                std::to_string(bits) + "-bit, " + std::to_string(channels) +
                                " channel(s), format " + std::to_string(tag) +
                                "; a CD track must be PCM 44100 Hz 16-bit stereo");
            }
            if (extensiblePcm) {
                uint8_t ext[26];
                if (size < 40 || readAt(body + 14, ext, 26) != 26 || le16(ext + 10) != 1) {
                    throw DiscError(name + ": extensible format that is not PCM");
                }
            }
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) {
                throw DiscError(name + ": data chunk before the format chunk");
            }
            const uint64_t available = fileSize - body;
            return {body, size < available ? size : available};
        }
        position = body + size + (size & 1);
    }
    throw DiscError(name + (haveFormat ? ": no data chunk" : ": no format chunk"));
}

}  // namespace tonalda::vdrive
