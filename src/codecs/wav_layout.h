#pragma once
// Where the audio of a WAV file is and what it is. The encoders read CD audio from byte 44 on; a
// file to be converted is checked first, and a CD-audio file whose data starts elsewhere (after a
// LIST chunk, say) is copied into the canonical layout.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace tonalda {

struct WavLayout {
    std::uint16_t formatTag = 0;  // 1 = PCM, also for an extensible format whose sub-format is PCM
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint64_t dataOffset = 0;  // where the data chunk's bytes start
    std::uint64_t dataLength = 0;  // as stated, cut to what the file holds
    std::uint64_t fileSize = 0;

    // 16-bit PCM stereo at 44100 Hz, the only audio the encoders take.
    bool isCdAudio() const;
    // CD audio whose data starts right after a 44-byte header and runs to the end of the file,
    // so that an encoder reading from byte 44 to the end reads exactly the audio. A chunk after
    // the data (a tag, a picture) needs a canonical copy like a chunk before it.
    bool isCanonical() const {
        return isCdAudio() && dataOffset == 44 && dataOffset + dataLength == fileSize;
    }
};

// Reads the RIFF/WAVE chunks up to the data chunk. nullopt, with the reason in `error`, for a
// file that cannot be read or is not a WAV file. A chunk whose stated size runs past the end of
// the file ends the search.
// Thread: any.
std::optional<WavLayout> readWavLayout(const std::filesystem::path& file, std::string& error);
// The same from an open file of `fileSize` bytes, read from its start.
std::optional<WavLayout> readWavLayout(std::FILE* in, std::uint64_t fileSize, std::string& error);

// Writes the data of `source` after a canonical 44-byte header into `target`. False, with the
// reason in `error`, when either file fails.
bool writeCanonicalCopy(const std::filesystem::path& source, const WavLayout& layout,
                        const std::filesystem::path& target, std::string& error);

}  // namespace tonalda
