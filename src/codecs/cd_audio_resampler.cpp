#include "codecs/cd_audio_resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace tonalda {

void CdAudioResampler::Free::operator()(SwrContext* context) const {
    swr_free(&context);
}

CdAudioResampler::CdAudioResampler(int rate, int channels, Layout layout) : channels_(channels) {
    if (rate <= 0 || channels < 1 || channels > kCdChannels)
        return;
    AVChannelLayout input;
    AVChannelLayout output;
    av_channel_layout_default(&input, kCdChannels);
    av_channel_layout_default(&output, channels);
    SwrContext* context = nullptr;
    const AVSampleFormat format =
        layout == Layout::PlanarFloat ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    const int made = swr_alloc_set_opts2(&context, &output, format, rate, &input, AV_SAMPLE_FMT_S16,
                                         kCdSampleRate, 0, nullptr);
    std::unique_ptr<SwrContext, Free> owned(context);
    if (made < 0 || !owned)
        return;
    // The resampler's own downmix weighs the channels at -3 dB; the mean keeps the level the
    // encoders give one channel everywhere else.
    if (channels == 1) {
        const double mean[] = {0.5, 0.5};
        if (swr_set_matrix(owned.get(), mean, kCdChannels) < 0)
            return;
    }
    if (swr_init(owned.get()) < 0)
        return;
    context_ = std::move(owned);
}

CdAudioResampler::~CdAudioResampler() = default;

int CdAudioResampler::roomFor(int inputFrames) const {
    return context_ ? swr_get_out_samples(context_.get(), inputFrames) : -1;
}

int CdAudioResampler::convert(const std::uint8_t* cdFrames, int frames, std::uint8_t* const* output,
                              int room) {
    if (!context_)
        return -1;
    const std::uint8_t* input[] = {cdFrames};
    const int converted = swr_convert(context_.get(), const_cast<std::uint8_t**>(output), room,
                                      cdFrames ? input : nullptr, cdFrames ? frames : 0);
    return converted < 0 ? -1 : converted;
}

}  // namespace tonalda
