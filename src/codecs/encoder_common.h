#pragma once
// What the three encoders share: the audio they are given, the canonical WAV header they skip,
// and the message of a failed write.

#include <string>

namespace tonalda {

// Every encoder reads a canonical WAV file: this many header bytes, then 16-bit PCM to the end.
inline constexpr long kCanonicalWavHeaderBytes = 44;

// The PCM after that header is always CD audio: what a CD holds and the extraction writes. The
// header itself is never read, so this is what the encoders take it to be.
inline constexpr int kCdSampleRate = 44100;
inline constexpr int kCdChannels = 2;
inline constexpr int kCdFrameBytes = 4;

// The message of an output file that could not be written (a full disk, a file size limit): the
// encoder's words, then which file and why. The encoders stop at the first failed write and
// remove the file, which would otherwise look finished.
inline std::string outputWriteErrorText(const std::string& file, const std::string& reason) {
    return "Output file write error\n" + file + ": " + reason;
}

}  // namespace tonalda
