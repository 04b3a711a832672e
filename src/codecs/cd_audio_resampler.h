#pragma once
// Converts CD audio (interleaved 16-bit stereo at 44100 Hz, the only audio the encoders are
// given) to the sample rate and channel count an encoder was set up for, with FFmpeg's resampler.
// One channel gets the mean of left and right, as the encoders' own one-channel paths do.

#include <cstdint>
#include <memory>

#include "codecs/encoder_common.h"

struct SwrContext;

namespace tonalda {

// One object per file. Thread: the worker thread that encodes the file.
class CdAudioResampler {
  public:
    enum class Layout {
        PlanarFloat,       // one float plane per channel, samples in -1..1
        InterleavedInt16,  // 16-bit samples, channels interleaved
    };

    // A resampler to `rate` Hz and `channels` (1 or 2); check ready() before use.
    CdAudioResampler(int rate, int channels, Layout layout);
    CdAudioResampler(const CdAudioResampler&) = delete;
    CdAudioResampler& operator=(const CdAudioResampler&) = delete;
    ~CdAudioResampler();

    bool ready() const { return context_ != nullptr; }
    int channels() const { return channels_; }

    // The most frames convert() can give back for `inputFrames` more CD frames, counting what
    // the filter still holds from earlier calls.
    int roomFor(int inputFrames) const;
    // Converts `frames` whole CD frames from `cdFrames` into `output` (one pointer per plane, or
    // one for interleaved samples), at most `room` frames. Null input with 0 frames drains what
    // the filter still holds at the end of the file. Returns the frames written, or -1.
    int convert(const std::uint8_t* cdFrames, int frames, std::uint8_t* const* output, int room);

  private:
    struct Free {
        void operator()(SwrContext* context) const;
    };
    std::unique_ptr<SwrContext, Free> context_;
    int channels_ = 0;
};

}  // namespace tonalda
