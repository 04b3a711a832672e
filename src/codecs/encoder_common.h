#pragma once
// What the three encoders share: the canonical WAV header they skip, and their progress message.

#include "platform/messages.h"

namespace tonalda {

// Every encoder reads a canonical WAV file: this many header bytes, then 16-bit PCM to the end.
inline constexpr long kCanonicalWavHeaderBytes = 44;

// Sends the encode progress in thousandths of `total`, truncated; nothing without a receiver.
inline void sendEncodeProgress(MessageSink* notify, long long done, long long total) {
    if (notify && total > 0)
        notify->send(UM_ENCODE_PROGRESS, static_cast<WParam>(static_cast<double>(done) * 1000.0 /
                                                             static_cast<double>(total)));
}

}  // namespace tonalda
