#include "wav_format.h"

#include "posix_file.h"

namespace tonalda::vdrive {

WavData probeWavFile(const std::filesystem::path& path) {
    const PosixFile file(path);
    return locateWavData([&file](uint64_t offset, uint8_t* buffer,
                                 size_t size) { return file.readAt(offset, buffer, size); },
                         file.size(), path.string());
}

void makeWavHeader(uint32_t dataBytes, uint8_t header[44]) {
    auto put32 = [&header](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            header[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    auto put16 = [&header](int at, uint16_t v) {
        header[at] = static_cast<uint8_t>(v);
        header[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    std::memcpy(header, "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 2);
    put32(24, 44100);
    put32(28, 176400);
    put16(32, 4);
    put16(34, 16);
    std::memcpy(header + 36, "data", 4);
    put32(40, dataBytes);
}

}  // namespace tonalda::vdrive
