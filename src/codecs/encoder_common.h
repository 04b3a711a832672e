#pragma once
// What the three encoders share: the audio they are given, the canonical WAV header they skip,
// and their progress message.

#include <string>

#include "platform/messages.h"

namespace tonalda {

// Every encoder reads a canonical WAV file: this many header bytes, then 16-bit PCM to the end.
inline constexpr long kCanonicalWavHeaderBytes = 44;

// The PCM after that header is always CD audio: what a CD holds and the extraction writes. The
// header itself is never read, so this is what the encoders take it to be.
inline constexpr int kCdSampleRate = 44100;
inline constexpr int kCdChannels = 2;
inline constexpr int kCdFrameBytes = 4;

// Sends the encode progress in thousandths of `total`, truncated; nothing without a receiver.
inline void sendEncodeProgress(MessageSink* notify, long long done, long long total) {
    if (notify && total > 0)
        notify->send(UM_ENCODE_PROGRESS, static_cast<WParam>(static_cast<double>(done) * 1000.0 /
                                                             static_cast<double>(total)));
}

// The message of an output file that could not be written (a full disk, a file size limit): the
// encoder's words, then which file and why. The encoders stop at the first failed write and
// remove the file, which would otherwise look finished.
inline std::string outputWriteErrorText(const std::string& file, const std::string& reason) {
    return "Output file write error\n" + file + ": " + reason;
}

}  // namespace tonalda
