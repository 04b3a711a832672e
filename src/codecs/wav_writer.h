#pragma once
// The canonical 44-byte RIFF/WAVE header of CD audio (44.1 kHz, 16-bit, stereo).

#include <array>
#include <cstdint>
#include <cstdio>

namespace tonalda {

constexpr std::size_t kWavHeaderBytes = 44;

std::array<std::uint8_t, kWavHeaderBytes> wavHeader(std::uint32_t dataLength);

// Seeks to the start of the file and writes the header; does nothing without a file.
// False when the header could not be written.
bool writeWavHeader(std::FILE* file, std::uint32_t dataLength);

}  // namespace tonalda
