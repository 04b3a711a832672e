// libWmAudSDK.so: the audio writer over FFmpeg. WMAudioCreateWriter creates the output file and
// a writer for it; the writer takes attributes, the input and output formats, 16-bit PCM, and on
// Flush finishes a Windows Media Audio file (ASF container, WMA version 2).
//
// WriteSamples takes 16-bit PCM in the format given to SetInputFormat: that record is the truth
// about the bytes that follow, and the writer never looks at them for another. When it differs
// from the output format (rate or channels), the writer resamples and remixes with
// libswresample, so the file keeps the length and pitch of its input. The program's WMA encoder
// gives a record with its output rate and channels, and hands over its CD audio converted to
// them.
//
// Attributes become ASF metadata under their WM names ("Title", "Author", "Copyright",
// "Description" and the "WM/..." names), so other players read them back. The boolean
// "use_drm" is recorded as an attribute of the file; no rights management is applied.
//
// A writer released before its Flush finished the file deletes the file it created, so a set-up
// failure or an abandoned file leaves nothing half-made behind.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "codecs/wmaudsdk_abi.h"

#define WMAUDSDK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The highest bitrate offered is three bits per sample of the chosen rate and channels; the
// WMA version 2 encoder itself needs at least 24 kbit/s.
constexpr std::uint32_t kMinBitrate = 24000;
constexpr std::uint32_t kMaxBitsPerSample = 3;
constexpr std::uint32_t kMaxRate = 48000;

bool bitrateOffered(std::uint32_t bitrate, std::uint32_t rate, std::uint32_t channels) {
    return rate >= 8000 && rate <= kMaxRate && (channels == 1 || channels == 2) &&
           bitrate >= kMinBitrate &&
           static_cast<std::uint64_t>(bitrate) <=
               static_cast<std::uint64_t>(rate) * channels * kMaxBitsPerSample;
}

std::string utf8FromUtf16(const WMCHAR* text, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // a lone surrogate
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::size_t terminatedLength(const WMCHAR* text) {
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

// FFmpeg's ASF muxer files these four in the content description object under its own names.
std::string metadataKey(const std::string& name) {
    if (name == "Title")
        return "title";
    if (name == "Author")
        return "author";
    if (name == "Copyright")
        return "copyright";
    if (name == "Description")
        return "comment";
    return name;
}

// A failed write of the muxer as the writer's result: the file system's reason when FFmpeg
// passed an errno on, so the program can say why (a full disk, a file size limit).
WMRESULT writeFault(int averror) {
    if (averror < 0 && -averror < 0x10000)
        return WM_E_FROM_ERRNO(-averror);
    return WM_E_WRITE_FAULT;
}

class Writer;

// What callers hold: the operation table first, so the object's address is the table's.
struct WriterObject {
    IWMAudioWriter object;
    Writer* writer;
};
static_assert(std::is_standard_layout_v<WriterObject>);

class Writer {
  public:
    explicit Writer(std::string path) : path_(std::move(path)) {
        self_.object.lpVtbl = &kOperations;
        self_.writer = this;
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() { discard(); }

    IWMAudioWriter* object() { return &self_.object; }
    static Writer* from(IWMAudioWriter* object) {
        return reinterpret_cast<WriterObject*>(object)->writer;
    }

    WMRESULT create() {
        if (avformat_alloc_output_context2(&format_, nullptr, "asf", path_.c_str()) < 0 || !format_)
            return WM_E_FAIL;
        if (avio_open(&format_->pb, path_.c_str(), AVIO_FLAG_WRITE) < 0)
            return WM_E_FAIL;
        created_ = true;
        return WM_S_OK;
    }

    WMRESULT setAttribute(const WMCHAR* name, std::int32_t type, const std::uint8_t* value,
                          std::uint16_t length) {
        if (!name || (!value && length > 0))
            return WM_E_POINTER;
        if (headerWritten_)
            return WM_E_UNEXPECTED;  // attributes go into the header, written with the first audio
        std::string text;
        switch (type) {
            case WMT_TYPE_STRING: {
                if (length < 2 || length % 2 != 0)
                    return WM_E_INVALIDARG;
                std::vector<WMCHAR> units(length / 2);
                std::memcpy(units.data(), value, length);
                if (units.back() != 0)
                    return WM_E_INVALIDARG;
                text = utf8FromUtf16(units.data(), terminatedLength(units.data()));
                break;
            }
            case WMT_TYPE_DWORD:
            case WMT_TYPE_BOOL: {
                if (length != 4)
                    return WM_E_INVALIDARG;
                std::uint32_t number;
                std::memcpy(&number, value, 4);
                text = std::to_string(type == WMT_TYPE_BOOL ? (number != 0) : number);
                break;
            }
            default:
                return WM_E_INVALIDARG;
        }
        const std::string key = metadataKey(utf8FromUtf16(name, terminatedLength(name)));
        if (key.empty())
            return WM_E_INVALIDARG;
        return av_dict_set(&format_->metadata, key.c_str(), text.c_str(), 0) < 0 ? WM_E_OUTOFMEMORY
                                                                                 : WM_S_OK;
    }

    WMRESULT setInputFormat(const WAVEFORMATEX* format) {
        if (!format)
            return WM_E_POINTER;
        const unsigned blockAlign = format->nChannels * 2u;
        if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
            format->nChannels < 1 || format->nChannels > 2 || format->nSamplesPerSec == 0 ||
            format->nBlockAlign != blockAlign ||
            format->nAvgBytesPerSec != blockAlign * format->nSamplesPerSec)
            return WM_E_INVALIDARG;
        if (codec_)
            return WM_E_UNEXPECTED;
        input_ = *format;
        haveInput_ = true;
        return WM_S_OK;
    }

    WMRESULT setOutputFormat(std::uint32_t bitrate, std::uint32_t rate, std::uint32_t channels,
                             std::uint32_t /*flags*/) {
        if (!haveInput_ || codec_)
            return WM_E_UNEXPECTED;
        if (!bitrateOffered(bitrate, rate, channels))
            return WM_E_NO_SUCH_FORMAT;
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        if (!encoder)
            return WM_E_FAIL;
        codec_ = avcodec_alloc_context3(encoder);
        if (!codec_)
            return WM_E_OUTOFMEMORY;
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = static_cast<int>(rate);
        codec_->bit_rate = bitrate;
        av_channel_layout_default(&codec_->ch_layout, static_cast<int>(channels));
        codec_->time_base = AVRational{1, static_cast<int>(rate)};
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(codec_, encoder, nullptr) < 0) {
            avcodec_free_context(&codec_);
            return WM_E_NO_SUCH_FORMAT;
        }
        stream_ = avformat_new_stream(format_, nullptr);
        if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, codec_) < 0)
            return WM_E_FAIL;
        stream_->time_base = codec_->time_base;

        AVChannelLayout inputLayout;
        av_channel_layout_default(&inputLayout, input_.nChannels);
        const int made = swr_alloc_set_opts2(&resampler_, &codec_->ch_layout, codec_->sample_fmt,
                                             codec_->sample_rate, &inputLayout, AV_SAMPLE_FMT_S16,
                                             static_cast<int>(input_.nSamplesPerSec), 0, nullptr);
        av_channel_layout_uninit(&inputLayout);
        if (made < 0 || swr_init(resampler_) < 0)
            return WM_E_FAIL;
        fifo_ = av_audio_fifo_alloc(codec_->sample_fmt, codec_->ch_layout.nb_channels,
                                    codec_->frame_size);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!fifo_ || !frame_ || !packet_)
            return WM_E_OUTOFMEMORY;
        return WM_S_OK;
    }

    WMRESULT writeSamples(const std::uint8_t* bytes, std::uint32_t length) {
        if (!bytes && length > 0)
            return WM_E_POINTER;
        if (!resampler_ || finished_)
            return WM_E_UNEXPECTED;
        if (const WMRESULT header = writeHeader(); WM_FAILED(header))
            return header;
        // A frame split between two calls is put back together from the bytes kept last time.
        const std::size_t align = input_.nBlockAlign;
        if (!partial_.empty()) {
            const std::size_t taken = std::min<std::size_t>(align - partial_.size(), length);
            partial_.insert(partial_.end(), bytes, bytes + taken);
            bytes += taken;
            length -= static_cast<std::uint32_t>(taken);
            if (partial_.size() < align)
                return WM_S_OK;
            const WMRESULT joined = convertAndEncode(partial_.data(), 1);
            partial_.clear();
            if (WM_FAILED(joined))
                return joined;
        }
        const int frames = static_cast<int>(length / align);
        partial_.assign(bytes + static_cast<std::size_t>(frames) * align, bytes + length);
        return frames == 0 ? WM_S_OK : convertAndEncode(bytes, frames);
    }

    WMRESULT flush() {
        if (!resampler_ || finished_)
            return WM_E_UNEXPECTED;
        if (const WMRESULT header = writeHeader(); WM_FAILED(header))
            return header;
        // What the resampler still holds, then the last partial frame padded with silence.
        if (const WMRESULT drained = convertAndEncode(nullptr, 0); WM_FAILED(drained))
            return drained;
        if (const int left = av_audio_fifo_size(fifo_); left > 0)
            if (const WMRESULT last = encodeFrame(left); WM_FAILED(last))
                return last;
        if (avcodec_send_frame(codec_, nullptr) < 0)
            return WM_E_FAIL;
        if (const WMRESULT drained = drainPackets(); WM_FAILED(drained))
            return drained;
        if (const int trailer = av_write_trailer(format_); trailer < 0)
            return writeFault(trailer);
        if (const int closed = avio_closep(&format_->pb); closed < 0)
            return writeFault(closed);
        finished_ = true;
        return WM_S_OK;
    }

    std::uint32_t addRef() { return ++references_; }
    std::uint32_t release() {
        const std::uint32_t left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

  private:
    WMRESULT writeHeader() {
        if (headerWritten_)
            return WM_S_OK;
        if (const int header = avformat_write_header(format_, nullptr); header < 0)
            return writeFault(header);
        headerWritten_ = true;
        return WM_S_OK;
    }

    WMRESULT convertAndEncode(const std::uint8_t* bytes, int frames) {
        const int room = swr_get_out_samples(resampler_, frames);
        if (room < 0)
            return WM_E_FAIL;
        if (room > 0) {
            if (av_audio_fifo_realloc(fifo_, av_audio_fifo_size(fifo_) + room) < 0)
                return WM_E_OUTOFMEMORY;
            std::uint8_t** planes = nullptr;
            if (av_samples_alloc_array_and_samples(&planes, nullptr, codec_->ch_layout.nb_channels,
                                                   room, codec_->sample_fmt, 0) < 0)
                return WM_E_OUTOFMEMORY;
            const std::uint8_t* input[] = {bytes};
            const int converted =
                swr_convert(resampler_, planes, room, bytes ? input : nullptr, frames);
            const int stored =
                converted > 0
                    ? av_audio_fifo_write(fifo_, reinterpret_cast<void**>(planes), converted)
                    : converted;
            av_freep(&planes[0]);
            av_freep(&planes);
            if (stored < 0)
                return WM_E_FAIL;
        }
        while (av_audio_fifo_size(fifo_) >= codec_->frame_size)
            if (const WMRESULT encoded = encodeFrame(codec_->frame_size); WM_FAILED(encoded))
                return encoded;
        return WM_S_OK;
    }

    // Encodes `samples` samples from the queue as one frame, padding a short one with silence.
    WMRESULT encodeFrame(int samples) {
        av_frame_unref(frame_);
        frame_->nb_samples = codec_->frame_size;
        frame_->format = codec_->sample_fmt;
        if (av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout) < 0 ||
            av_frame_get_buffer(frame_, 0) < 0)
            return WM_E_OUTOFMEMORY;
        if (samples < codec_->frame_size)
            av_samples_set_silence(frame_->data, 0, codec_->frame_size,
                                   codec_->ch_layout.nb_channels, codec_->sample_fmt);
        if (av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->data), samples) < samples)
            return WM_E_FAIL;
        frame_->pts = nextPts_;
        nextPts_ += codec_->frame_size;
        if (avcodec_send_frame(codec_, frame_) < 0)
            return WM_E_FAIL;
        return drainPackets();
    }

    WMRESULT drainPackets() {
        for (;;) {
            const int received = avcodec_receive_packet(codec_, packet_);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return WM_S_OK;
            if (received < 0)
                return WM_E_FAIL;
            av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (const int written = av_interleaved_write_frame(format_, packet_); written < 0)
                return writeFault(written);
        }
    }

    void discard() {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        if (fifo_)
            av_audio_fifo_free(fifo_);
        swr_free(&resampler_);
        avcodec_free_context(&codec_);
        if (format_) {
            if (format_->pb)
                avio_closep(&format_->pb);
            avformat_free_context(format_);
        }
        if (created_ && !finished_)
            unlink(path_.c_str());
    }

    static WMRESULT queryInterface(IWMAudioWriter*, const void*, void** object) {
        if (object)
            *object = nullptr;
        return WM_E_NOTIMPL;
    }
    static std::uint32_t addRefOf(IWMAudioWriter* self) { return self ? from(self)->addRef() : 0; }
    static std::uint32_t releaseOf(IWMAudioWriter* self) {
        return self ? from(self)->release() : 0;
    }
    static WMRESULT setAttributeOf(IWMAudioWriter* self, const WMCHAR* name, std::int32_t type,
                                   const std::uint8_t* value, std::uint16_t length) {
        return self ? from(self)->setAttribute(name, type, value, length) : WM_E_POINTER;
    }
    static WMRESULT setInputFormatOf(IWMAudioWriter* self, const WAVEFORMATEX* format) {
        return self ? from(self)->setInputFormat(format) : WM_E_POINTER;
    }
    static WMRESULT setOutputFormatOf(IWMAudioWriter* self, std::uint32_t bitrate,
                                      std::uint32_t rate, std::uint32_t channels,
                                      std::uint32_t flags) {
        return self ? from(self)->setOutputFormat(bitrate, rate, channels, flags) : WM_E_POINTER;
    }
    static WMRESULT reserved(IWMAudioWriter*) { return WM_E_NOTIMPL; }
    static WMRESULT writeSamplesOf(IWMAudioWriter* self, const std::uint8_t* bytes,
                                   std::uint32_t length) {
        return self ? from(self)->writeSamples(bytes, length) : WM_E_POINTER;
    }
    static WMRESULT flushOf(IWMAudioWriter* self) {
        return self ? from(self)->flush() : WM_E_POINTER;
    }

    static constexpr IWMAudioWriterVtbl kOperations = {
        queryInterface,    addRefOf, releaseOf,      setAttributeOf, setInputFormatOf,
        setOutputFormatOf, reserved, writeSamplesOf, flushOf};

    WriterObject self_{};
    std::string path_;
    std::atomic<std::uint32_t> references_{1};
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    WAVEFORMATEX input_{};
    std::vector<std::uint8_t> partial_;  // the start of a frame split between two calls
    bool haveInput_ = false;
    bool created_ = false;
    bool headerWritten_ = false;
    bool finished_ = false;
    std::int64_t nextPts_ = 0;
};

}  // namespace

WMAUDSDK_EXPORT WMRESULT WMAudioCreateWriter(const WMCHAR* path, IWMAudioWriter** writer) {
    if (!writer)
        return WM_E_POINTER;
    *writer = nullptr;
    if (!path)
        return WM_E_POINTER;
    const std::string file = utf8FromUtf16(path, terminatedLength(path));
    if (file.empty())
        return WM_E_INVALIDARG;
    auto* made = new (std::nothrow) Writer(file);
    if (!made)
        return WM_E_OUTOFMEMORY;
    if (const WMRESULT result = made->create(); WM_FAILED(result)) {
        made->release();
        return result;
    }
    *writer = made->object();
    return WM_S_OK;
}
