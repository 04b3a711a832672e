#pragma once
// The RIFF/WAVE files the virtual drive serves and tonalda-mkdisc writes: PCM, 44.1 kHz, 16-bit,
// stereo; anything else is refused with a message that says what the file holds.

#include <cstdint>
#include <filesystem>
#include <string>

namespace tonalda::vdrive {

struct WavData {
    uint64_t offset = 0;  // where the samples start
    uint64_t bytes = 0;   // sample bytes, clipped to what the file really holds
};

// Locates the samples of a CD-format WAV file read through `readAt(offset, buffer, size)` (returns
// the bytes read); `fileSize` bounds every chunk. Throws DiscError naming `name`.
template <typename ReadAt>
WavData locateWavData(ReadAt&& readAt, uint64_t fileSize, const std::string& name);

// Same, for a file on disk.
WavData probeWavFile(const std::filesystem::path& path);

// The canonical 44-byte header for `dataBytes` bytes of CD audio.
void makeWavHeader(uint32_t dataBytes, uint8_t header[44]);

}  // namespace tonalda::vdrive

#include "wav_format_impl.h"
