#pragma once
// What the three encoders share: the audio they are given and the canonical WAV header they skip.

namespace tonalda {

// Every encoder reads a canonical WAV file: this many header bytes, then 16-bit PCM to the end.
inline constexpr long kCanonicalWavHeaderBytes = 44;

// The PCM after that header is always CD audio: what a CD holds and the extraction writes. The
// header itself is never read, so this is what the encoders take it to be.
inline constexpr int kCdSampleRate = 44100;
inline constexpr int kCdChannels = 2;
inline constexpr int kCdFrameBytes = 4;

}  // namespace tonalda
