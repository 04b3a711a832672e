#include "codecs/ogg_encoder.h"

#include <vorbis/vorbisenc.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <random>
#include <string>

#include "codecs/encoder_common.h"
#include "codecs/ogg_settings.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "platform/cancel_token.h"
#include "platform/progress.h"

namespace tonalda {

namespace {

void addComments(vorbis_comment& comment, const OggSettings& settings, const TagInfo& tags) {
    const bool v1 = tags.isV1 != 0;
    const struct {
        std::int32_t wanted;
        const char* name;
        const std::string& value;
    } comments[] = {
        {settings.Album, "ALBUM", v1 ? tags.Album1 : tags.Album2},
        {settings.Artist, "ARTIST", v1 ? tags.Artist1 : tags.Artist2},
        {settings.Comment, "COMMENT", v1 ? tags.Comment1 : tags.Comment2},
        {settings.Title, "TITLE", v1 ? tags.Title1 : tags.Title2},
        {settings.Track, "TRACK", v1 ? tags.Track1 : tags.Track2},
        {settings.Year, "YEAR", v1 ? tags.Year1 : tags.Year2},
    };
    for (const auto& entry : comments)
        if (entry.wanted == 1)
            vorbis_comment_add_tag(&comment, entry.name, entry.value.c_str());
}

std::int16_t sampleAt(const unsigned char* bytes) {
    return static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

OggEncoder::OggEncoder(const OggSettings& settings) : settings_(settings) {}

OggEncoder::~OggEncoder() {
    endStream();
}

void OggEncoder::writePage(std::FILE* output) {
    if (writeError_ != 0)
        return;
    const auto header = static_cast<std::size_t>(page_.header_len);
    const auto body = static_cast<std::size_t>(page_.body_len);
    if (std::fwrite(page_.header, 1, header, output) != header ||
        std::fwrite(page_.body, 1, body, output) != body)
        writeError_ = errno != 0 ? errno : EIO;
}

bool OggEncoder::beginStream(std::FILE* output, const TagInfo* tags) {
    endStream();
    vorbis_info_init(&info_);
    // Two channels for the stereo value 1 only: a hand-edited 2 must not make a third channel that
    // nothing fills.
    const int channels = settings_.Stereo == 1 ? 2 : 1;
    const long rate = oggSampleRate(settings_.Samplerate);
    if (settings_.VBR == 1)
        setupResult_ =
            vorbis_encode_init_vbr(&info_, channels, rate, oggBaseQuality(settings_.Quality));
    else
        setupResult_ = vorbis_encode_init(
            &info_, channels, rate, oggLimitBitrate(settings_.Maxrate),
            oggNominalBitrate(settings_.Normrate), oggLimitBitrate(settings_.Minrate));
    if (setupResult_ == 0 && rate != kCdSampleRate) {
        resampler_ = std::make_unique<CdAudioResampler>(static_cast<int>(rate), channels,
                                                        CdAudioResampler::Layout::PlanarFloat);
        if (!resampler_->ready())
            setupResult_ = OV_EFAULT;
    }
    if (setupResult_ != 0) {
        resampler_.reset();
        vorbis_info_clear(&info_);
        info_ = {};
        return false;
    }

    writeError_ = 0;
    vorbis_comment_init(&comment_);
    if (tags)
        addComments(comment_, settings_, *tags);
    vorbis_analysis_init(&dsp_, &info_);
    vorbis_block_init(&dsp_, &block_);

    // Seeded with the time in seconds: two streams begun in the same second share a serial.
    std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
    ogg_stream_init(&stream_, static_cast<int>(generator() % 32768));
    begun_ = true;
    endOfStream_ = false;

    ogg_packet identification;
    ogg_packet commentPacket;
    ogg_packet codebooks;
    vorbis_analysis_headerout(&dsp_, &comment_, &identification, &commentPacket, &codebooks);
    ogg_stream_packetin(&stream_, &identification);
    ogg_stream_packetin(&stream_, &commentPacket);
    ogg_stream_packetin(&stream_, &codebooks);
    // Flushing puts the headers on pages of their own, so the audio starts on a fresh page.
    while (ogg_stream_flush(&stream_, &page_) != 0)
        writePage(output);
    return true;
}

bool OggEncoder::encodeStream(std::FILE* input, std::FILE* output, ProgressSink* progress,
                              const CancelToken& cancel) {
    if (!begun_)
        return false;
    const long long totalBytes = openFileSize(input);
    long long bytesDone = 0;
    unsigned char block[kOggBlockBytes];
    const bool stereo = info_.channels == 2;

    while (!endOfStream_) {
        if (cancel.stopRequested() || writeError_ != 0)
            return false;
        const std::size_t count = std::fread(block, 1, sizeof block, input);
        bytesDone += static_cast<long long>(count);
        reportProgress(progress, bytesDone, totalBytes);
        if (count == 0) {
            drainResampler();
            vorbis_analysis_wrote(&dsp_, 0);
        } else if (resampler_) {
            analyseResampled(block, static_cast<int>(count / kCdFrameBytes));
        } else {
            // Whole 4-byte frames only; a partial frame at the end is dropped.
            const int frames = static_cast<int>(count / 4);
            float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(kOggBlockBytes / 4));
            for (int i = 0; i < frames; ++i) {
                const float left = sampleAt(block + 4 * i) / 32768.0f;
                const float right = sampleAt(block + 4 * i + 2) / 32768.0f;
                if (stereo) {
                    buffer[0][i] = left;
                    buffer[1][i] = right;
                } else {
                    buffer[0][i] = (left + right) * 0.5f;  // one channel: the mean of both
                }
            }
            vorbis_analysis_wrote(&dsp_, frames);
        }

        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            while (vorbis_bitrate_flushpacket(&dsp_, &packet_) != 0) {
                ogg_stream_packetin(&stream_, &packet_);
                while (!endOfStream_ && ogg_stream_pageout(&stream_, &page_) != 0) {
                    writePage(output);
                    if (ogg_page_eos(&page_))
                        endOfStream_ = true;
                }
            }
        }
    }
    endOfStream_ = false;
    return true;
}

// The block's frames go through the resampler straight into the analysis buffer, whose
// float planes are the resampler's output layout.
void OggEncoder::analyseResampled(const unsigned char* block, int frames) {
    const int room = resampler_->roomFor(frames);
    if (room <= 0)
        return;
    float** buffer = vorbis_analysis_buffer(&dsp_, room);
    const int made =
        resampler_->convert(block, frames, reinterpret_cast<std::uint8_t**>(buffer), room);
    // Zero frames would tell the analysis that the stream has ended.
    if (made > 0)
        vorbis_analysis_wrote(&dsp_, made);
}

// What the resampler's filter still holds is the end of the audio.
void OggEncoder::drainResampler() {
    if (!resampler_)
        return;
    for (int room = resampler_->roomFor(0); room > 0; room = resampler_->roomFor(0)) {
        float** buffer = vorbis_analysis_buffer(&dsp_, room);
        const int made =
            resampler_->convert(nullptr, 0, reinterpret_cast<std::uint8_t**>(buffer), room);
        if (made <= 0)
            break;
        vorbis_analysis_wrote(&dsp_, made);
    }
    resampler_.reset();
}

void OggEncoder::endStream() {
    if (begun_) {
        ogg_stream_clear(&stream_);
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
        vorbis_comment_clear(&comment_);
        vorbis_info_clear(&info_);
        begun_ = false;
    }
    resampler_.reset();
    stream_ = {};
    block_ = {};
    dsp_ = {};
    comment_ = {};
    info_ = {};
    endOfStream_ = false;
}

}  // namespace tonalda
