// lame_enc.so: the be* encoder interface over libmp3lame. The configuration record says what to
// encode; this module turns each of its fields into the matching libmp3lame setting.
//
// The program always hands over interleaved stereo (every WAV it encodes is CD audio), so the
// stream is always set up for two input channels; the Mono mode lets LAME downmix them instead of
// reading the stereo samples as one channel, which would double the length of the audio.
//
// Streams are kept in a table and named by small handles, so a stale or foreign handle gives
// BE_ERR_INVALID_HANDLE instead of touching freed memory.

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "codecs/lame_enc_abi.h"

#define LAME_ENC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kInputChannels = 2;

struct Stream {
    lame_t flags = nullptr;
    std::uint32_t outputBufferSize = 0;
    bool closed = false;  // beCloseStream ran; kept until the Info tag is written
};

class StreamTable {
  public:
    StreamTable() = default;
    StreamTable(const StreamTable&) = delete;
    StreamTable& operator=(const StreamTable&) = delete;
    // A stream closed but never tagged (a cancelled file), or never closed, goes with the module.
    ~StreamTable() {
        for (auto& entry : streams_)
            if (entry.second.flags)
                lame_close(entry.second.flags);
    }

    // Streams closed earlier whose tag was never asked for (a cancelled file) go now, so that
    // at most the last one is kept.
    HBE_STREAM add(lame_t flags, std::uint32_t outputBufferSize) {
        std::lock_guard lock(mutex_);
        std::erase_if(streams_, [](auto& entry) {
            if (!entry.second.closed)
                return false;
            if (entry.second.flags)
                lame_close(entry.second.flags);
            return true;
        });
        lastClosed_ = 0;
        const HBE_STREAM handle = ++lastHandle_;
        streams_[handle] = Stream{flags, outputBufferSize, false};
        return handle;
    }

    // The stream stays valid while the caller uses it: only the caller's own close removes it.
    Stream* find(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        return it == streams_.end() ? nullptr : &it->second;
    }

    void markClosed(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        lastClosed_ = handle;
    }

    HBE_STREAM lastClosed() {
        std::lock_guard lock(mutex_);
        return lastClosed_;
    }

    void remove(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = streams_.find(handle);
        if (it == streams_.end())
            return;
        if (it->second.flags)
            lame_close(it->second.flags);
        streams_.erase(it);
        if (lastClosed_ == handle)
            lastClosed_ = 0;
    }

  private:
    std::mutex mutex_;
    std::map<HBE_STREAM, Stream> streams_;
    HBE_STREAM lastHandle_ = 0;
    HBE_STREAM lastClosed_ = 0;
};

StreamTable& streams() {
    static StreamTable table;
    return table;
}

// The settings LAME gives each quality preset.
void applyPreset(lame_t flags, std::int32_t preset) {
    switch (preset) {
        case LQP_LOW_QUALITY:
            lame_set_quality(flags, 9);
            break;
        case LQP_HIGH_QUALITY:
            lame_set_quality(flags, 2);
            break;
        case LQP_VOICE_QUALITY:
        case LQP_VOICE:
            lame_set_mode(flags, MONO);
            lame_set_preset(flags, 56);
            break;
        case LQP_R3MIX:
            lame_set_preset(flags, R3MIX);
            break;
        case LQP_VERYHIGH_QUALITY:
            lame_set_quality(flags, 0);
            break;
        case LQP_STANDARD:
            lame_set_preset(flags, STANDARD);
            break;
        case LQP_FAST_STANDARD:
            lame_set_preset(flags, STANDARD_FAST);
            break;
        case LQP_EXTREME:
            lame_set_preset(flags, EXTREME);
            break;
        case LQP_FAST_EXTREME:
            lame_set_preset(flags, EXTREME_FAST);
            break;
        case LQP_INSANE:
            lame_set_preset(flags, INSANE);
            break;
        case LQP_PHONE:
            lame_set_mode(flags, MONO);
            lame_set_preset(flags, 16);
            break;
        case LQP_SW:
            lame_set_mode(flags, MONO);
            lame_set_preset(flags, 24);
            break;
        case LQP_AM:
            lame_set_mode(flags, MONO);
            lame_set_preset(flags, 40);
            break;
        case LQP_FM:
        case LQP_RADIO:
        case LQP_TAPE:
            lame_set_preset(flags, 112);
            break;
        case LQP_HIFI:
            lame_set_preset(flags, 160);
            break;
        case LQP_CD:
            lame_set_preset(flags, 192);
            break;
        case LQP_STUDIO:
            lame_set_preset(flags, 256);
            break;
        default:  // no preset, normal quality, and ABR and CBR (set up by the caller)
            break;
    }
}

int clampKbps(std::uint32_t kbps) {
    return static_cast<int>(std::clamp<std::uint32_t>(kbps, 8, 320));
}

// The bitrate of the ABR and CBR presets when the record gives none: LAME's own default. A
// program that chose the preset alone leaves the rate fields zero, and clamping 0 up to 8 kbit/s
// would make an 8 kHz telephone-quality file.
constexpr std::uint32_t kPresetDefaultKbps = 128;

std::uint32_t presetKbps(std::uint32_t kbps) {
    return kbps == 0 ? kPresetDefaultKbps : kbps;
}

bool applyModeAndRate(lame_t flags, const BE_CONFIG& config) {
    switch (config.nMode) {
        case BE_MP3_MODE_STEREO:
            lame_set_mode(flags, STEREO);
            break;
        case BE_MP3_MODE_JSTEREO:
            lame_set_mode(flags, JOINT_STEREO);
            break;
        case BE_MP3_MODE_DUALCHANNEL:
            lame_set_mode(flags, DUAL_CHANNEL);
            break;
        case BE_MP3_MODE_MONO:
            lame_set_mode(flags, MONO);
            break;
        default:
            return false;
    }
    if (config.bEnableVBR) {
        lame_set_VBR_q(flags, config.nVBRQuality);
        switch (config.nVbrMethod) {
            case VBR_METHOD_NONE:
                lame_set_VBR(flags, vbr_off);
                break;
            case VBR_METHOD_DEFAULT:
                lame_set_VBR(flags, vbr_default);
                break;
            case VBR_METHOD_OLD:
                lame_set_VBR(flags, vbr_rh);
                break;
            case VBR_METHOD_NEW:
            case VBR_METHOD_MTRH:
                lame_set_VBR(flags, vbr_mtrh);
                break;
            case VBR_METHOD_ABR:
                lame_set_VBR(flags, vbr_abr);
                break;
            default:
                return false;
        }
    } else {
        lame_set_VBR(flags, vbr_off);
    }
    if (config.dwBitrate > 0)
        lame_set_brate(flags, static_cast<int>(config.dwBitrate));
    if (config.dwVbrAbr_bps > 0) {
        lame_set_VBR(flags, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(flags, clampKbps((config.dwVbrAbr_bps + 500) / 1000));
    }
    return true;
}

BE_ERR configure(lame_t flags, const BE_CONFIG& config) {
    lame_set_in_samplerate(flags, static_cast<int>(config.dwSampleRate));
    lame_set_num_channels(flags, kInputChannels);
    lame_set_bWriteVbrTag(flags, 0);

    if (config.nPreset == LQP_ABR)
        lame_set_preset(flags, clampKbps(presetKbps(config.dwVbrAbr_bps / 1000)));
    if (config.nPreset == LQP_CBR) {
        lame_set_preset(flags, clampKbps(presetKbps(config.dwBitrate)));
        lame_set_VBR(flags, vbr_off);
    }
    // The named quality presets from STANDARD up choose mode and bitrates themselves.
    if (config.nPreset < LQP_STANDARD && !applyModeAndRate(flags, config))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config.nPreset != LQP_NOPRESET)
        applyPreset(flags, config.nPreset);

    if (config.dwReSampleRate > 0)
        lame_set_out_samplerate(flags, static_cast<int>(config.dwReSampleRate));
    if (config.nMode == BE_MP3_MODE_MONO)
        lame_set_mode(flags, MONO);
    lame_set_emphasis(flags, static_cast<int>(config.dwEmphasis));
    lame_set_strict_ISO(flags, config.bStrictIso ? 1 : 0);
    lame_set_copyright(flags, config.bCopyright ? 1 : 0);
    lame_set_original(flags, config.bOriginal ? 1 : 0);
    lame_set_error_protection(flags, config.bCRC ? 1 : 0);
    lame_set_extension(flags, config.bPrivate ? 1 : 0);
    if (config.dwBitrate > 0)
        lame_set_VBR_min_bitrate_kbps(flags, static_cast<int>(config.dwBitrate));
    if (config.dwMaxBitrate > 0)
        lame_set_VBR_max_bitrate_kbps(flags, static_cast<int>(config.dwMaxBitrate));
    if (config.bNoRes)
        lame_set_disable_reservoir(flags, 1);
    lame_set_bWriteVbrTag(flags, config.bWriteVBRHeader ? 1 : 0);
    // The quality word counts only when its high byte is the complement of its low byte.
    const unsigned quality = config.nQuality & 0xFFu;
    if (quality == ((~(config.nQuality >> 8u)) & 0xFFu))
        lame_set_quality(flags, static_cast<int>(quality));

    return lame_init_params(flags) < 0 ? BE_ERR_INVALID_FORMAT_PARAMETERS : BE_ERR_SUCCESSFUL;
}

// Finds the first audio frame: the start of the file, or just after an ID3v2 tag.
bool seekFirstFrame(std::FILE* file) {
    unsigned char header[10];
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, file) != 10)
        return false;
    long start = 0;
    if (std::memcmp(header, "ID3", 3) == 0)
        start = 10 + ((header[6] & 0x7F) << 21 | (header[7] & 0x7F) << 14 |
                      (header[8] & 0x7F) << 7 | (header[9] & 0x7F));
    unsigned char sync[2];
    if (std::fseek(file, start, SEEK_SET) != 0 || std::fread(sync, 1, 2, file) != 2)
        return false;
    if (sync[0] != 0xFF || (sync[1] & 0xE0) != 0xE0)
        return false;
    return std::fseek(file, start, SEEK_SET) == 0;
}

BE_ERR writeInfoFrame(lame_t flags, const char* fileName) {
    const std::size_t size = lame_get_lametag_frame(flags, nullptr, 0);
    if (size == 0)
        return BE_ERR_SUCCESSFUL;
    std::FILE* file = std::fopen(fileName, "r+b");
    if (!file)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    BE_ERR result = BE_ERR_INVALID_FORMAT_PARAMETERS;
    const std::unique_ptr<unsigned char[]> frame(new (std::nothrow) unsigned char[size]);
    if (frame && seekFirstFrame(file)) {
        const std::size_t filled = lame_get_lametag_frame(flags, frame.get(), size);
        if (filled > 0 && std::fwrite(frame.get(), filled, 1, file) == 1)
            result = BE_ERR_SUCCESSFUL;
    }
    if (std::fclose(file) != 0)
        result = BE_ERR_INVALID_FORMAT_PARAMETERS;
    return result;
}

}  // namespace

LAME_ENC_EXPORT BE_ERR beInitStream(BE_CONFIG* config, std::uint32_t* samplesPerChunk,
                                    std::uint32_t* outputBufferSize, HBE_STREAM* stream) {
    if (!config || !samplesPerChunk || !outputBufferSize || !stream)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    if (config->dwConfig != BE_CONFIG_LAME)
        return BE_ERR_INVALID_FORMAT;
    BE_CONFIG copy{};
    std::memcpy(&copy, config, std::min<std::size_t>(config->dwStructSize, sizeof copy));

    lame_t flags = lame_init();
    if (!flags)
        return BE_ERR_NO_MORE_HANDLES;
    const BE_ERR result = configure(flags, copy);
    if (result != BE_ERR_SUCCESSFUL) {
        lame_close(flags);
        return result;
    }
    const std::uint32_t perChannel = lame_get_version(flags) == 1 ? 1152 : 576;
    *samplesPerChunk = perChannel * kInputChannels;
    // LAME's worst case for one call: 1.25 times the samples per channel plus 7200 bytes.
    *outputBufferSize = perChannel * 5 / 4 + 7200;
    *stream = streams().add(flags, *outputBufferSize);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beEncodeChunk(HBE_STREAM handle, std::uint32_t sampleCount,
                                     const std::int16_t* samples, std::uint8_t* output,
                                     std::uint32_t* outputBytes) {
    Stream* stream = streams().find(handle);
    if (!stream || stream->closed || !stream->flags)
        return BE_ERR_INVALID_HANDLE;
    if (!output || !outputBytes || (sampleCount > 0 && !samples))
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    // A half frame at the end (an odd sample count) cannot be encoded and is dropped.
    const int frames = static_cast<int>(sampleCount / kInputChannels);
    const int produced =
        lame_encode_buffer_interleaved(stream->flags, const_cast<short*>(samples), frames, output,
                                       static_cast<int>(stream->outputBufferSize));
    if (produced < 0) {
        *outputBytes = 0;
        return BE_ERR_BUFFER_TOO_SMALL;
    }
    *outputBytes = static_cast<std::uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT BE_ERR beDeinitStream(HBE_STREAM handle, std::uint8_t* output,
                                      std::uint32_t* outputBytes) {
    Stream* stream = streams().find(handle);
    if (!stream || stream->closed || !stream->flags)
        return BE_ERR_INVALID_HANDLE;
    if (!output || !outputBytes)
        return BE_ERR_INVALID_FORMAT_PARAMETERS;
    const int produced =
        lame_encode_flush(stream->flags, output, static_cast<int>(stream->outputBufferSize));
    if (produced < 0) {
        *outputBytes = 0;
        return BE_ERR_BUFFER_TOO_SMALL;
    }
    *outputBytes = static_cast<std::uint32_t>(produced);
    return BE_ERR_SUCCESSFUL;
}

// A stream whose file gets an Info tag lives on until beWriteInfoTag (or beWriteVBRHeader) has
// written it; any other stream is released at once and leaves only its handle behind, so that
// the tag call that follows still finds it.
LAME_ENC_EXPORT BE_ERR beCloseStream(HBE_STREAM handle) {
    Stream* stream = streams().find(handle);
    if (!stream || stream->closed)
        return BE_ERR_INVALID_HANDLE;
    stream->closed = true;
    if (!lame_get_bWriteVbrTag(stream->flags)) {
        lame_close(stream->flags);
        stream->flags = nullptr;
    }
    streams().markClosed(handle);
    return BE_ERR_SUCCESSFUL;
}

LAME_ENC_EXPORT void beVersion(BE_VERSION* version) {
    if (!version)
        return;
    std::memset(version, 0, sizeof *version);
    version->byDLLMajorVersion = 1;
    version->byDLLMinorVersion = 32;
    lame_version_t lame{};
    get_lame_version_numerical(&lame);
    version->byMajorVersion = static_cast<std::uint8_t>(lame.major);
    version->byMinorVersion = static_cast<std::uint8_t>(lame.minor);
    version->byAlphaLevel = static_cast<std::uint8_t>(lame.alpha);
    version->byBetaLevel = static_cast<std::uint8_t>(lame.beta);
    // __DATE__ is "Mmm dd yyyy".
    static constexpr const char* kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* date = __DATE__;
    for (int month = 0; month < 12; ++month)
        if (std::strncmp(date, kMonths + 3 * month, 3) == 0)
            version->byMonth = static_cast<std::uint8_t>(month + 1);
    version->byDay = static_cast<std::uint8_t>(std::atoi(date + 4));
    version->wYear = static_cast<std::uint16_t>(std::atoi(date + 7));
    std::snprintf(version->zHomepage, sizeof version->zHomepage, "%s", get_lame_url());
}

LAME_ENC_EXPORT BE_ERR beWriteInfoTag(HBE_STREAM handle, const char* fileName) {
    Stream* stream = streams().find(handle);
    if (!stream)
        return BE_ERR_INVALID_HANDLE;
    BE_ERR result = BE_ERR_SUCCESSFUL;
    if (stream->flags && lame_get_bWriteVbrTag(stream->flags))
        result = fileName ? writeInfoFrame(stream->flags, fileName)
                          : BE_ERR{BE_ERR_INVALID_FORMAT_PARAMETERS};
    streams().remove(handle);
    return result;
}

// The older form: the tag of the stream closed last.
LAME_ENC_EXPORT BE_ERR beWriteVBRHeader(const char* fileName) {
    const HBE_STREAM handle = streams().lastClosed();
    if (handle == 0)
        return BE_ERR_INVALID_HANDLE;
    return beWriteInfoTag(handle, fileName);
}
