#include "codecs/wav_writer.h"

#include <cstring>

namespace tonalda {
namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, kWavHeaderBytes> wavHeader(std::uint32_t dataLength) {
    std::array<std::uint8_t, kWavHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    put32(&h[4], dataLength + 36);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    put32(&h[16], 16);
    put16(&h[20], 1);       // PCM
    put16(&h[22], 2);       // channels
    put32(&h[24], 44100);   // samples per second
    put32(&h[28], 176400);  // bytes per second
    put16(&h[32], 4);       // block align
    put16(&h[34], 16);      // bits per sample
    std::memcpy(&h[36], "data", 4);
    put32(&h[40], dataLength);
    return h;
}

bool writeWavHeader(std::FILE* file, std::uint32_t dataLength) {
    if (!file)
        return true;
    const auto header = wavHeader(dataLength);
    return std::fseek(file, 0, SEEK_SET) == 0 &&
           std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

}  // namespace tonalda
