#include "codecs/wma_encoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "codecs/encoder_common.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "codecs/wma_settings.h"
#include "platform/cancel_token.h"
#include "platform/progress.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace tonalda {

namespace fs = std::filesystem;

namespace {

constexpr const char* kModuleFile = "libWmAudSDK.so";
constexpr std::size_t kMaxPathUnits = 2048;
constexpr std::size_t kMaxTextUnits = 1024;
constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kInternalError = static_cast<std::int32_t>(0x8000FFFFu);

// UTF-8 to NUL-terminated UTF-16, as the writer takes its texts; false when the text is not
// valid UTF-8 or longer than `limit` units.
bool toWide(std::string_view text, std::size_t limit, std::u16string& wide) {
    if (!text::isValidUtf8(text))
        return false;
    wide = text::utf8ToUtf16(text);
    return wide.size() <= limit;
}

const WMCHAR* units(const std::u16string& text) {
    return reinterpret_cast<const WMCHAR*>(text.c_str());
}

// The file's stereo frames become one channel, the mean of left and right, in place; returns
// the bytes left. A partial frame at the end is dropped.
std::size_t mixToMono(std::uint8_t* bytes, std::size_t count) {
    const std::size_t frames = count / 4;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto left = static_cast<std::int16_t>(bytes[4 * i] | bytes[4 * i + 1] << 8);
        const auto right = static_cast<std::int16_t>(bytes[4 * i + 2] | bytes[4 * i + 3] << 8);
        const auto mean = static_cast<std::uint16_t>((left + right) / 2);
        bytes[2 * i] = static_cast<std::uint8_t>(mean & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(mean >> 8);
    }
    return frames * 2;
}

}  // namespace

WAVEFORMATEX wmaInputFormat(std::uint32_t sampleRate, std::uint32_t channels) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<std::uint16_t>(channels);
    format.nSamplesPerSec = sampleRate;
    format.nAvgBytesPerSec = channels * 2 * sampleRate;
    format.nBlockAlign = static_cast<std::uint16_t>(channels * 2);
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}

WmaEncoder::WmaEncoder(Registry& registry, Prompter& prompter)
    : registry_(registry), prompter_(prompter) {}

WmaEncoder::~WmaEncoder() {
    if (writer_)
        writer_->lpVtbl->Flush(writer_);
    releaseWriter();
}

void WmaEncoder::releaseWriter() {
    if (writer_)
        writer_->lpVtbl->Release(writer_);
    writer_ = nullptr;
    resampler_.reset();
}

std::int32_t WmaEncoder::openWriter(const fs::path& output, std::uint32_t bitrate,
                                    std::uint32_t sampleRate, std::uint32_t channels,
                                    std::uint32_t& chunkSize) {
    chunkSize = 0;
    // A writer still held from a file that was never closed is finished first.
    closeWriter();
    releaseWriter();

    const fs::path folder = installFolder(registry_);
    ModuleLibrary library =
        folder.empty() ? ModuleLibrary() : ModuleLibrary::load(folder / kModuleFile);
    if (!library.loaded()) {
        prompter_.tell("Could not found WmAudSDK.DLL file");
        return 1;
    }
    library_ = std::move(library);
    createWriter_ = library_.entryPoint<WMAUDIOCREATEWRITER>("WMAudioCreateWriter");
    if (!createWriter_) {
        prompter_.tell("Could not found WMAudioCreateWriter library function");
        return -1;
    }

    const WAVEFORMATEX input = wmaInputFormat(sampleRate, channels);
    std::u16string widePath;
    if (!toWide(output.string(), kMaxPathUnits, widePath)) {
        prompter_.tell("internal error");
        return kInternalError;
    }
    IWMAudioWriter* writer = nullptr;
    std::int32_t result = createWriter_(units(widePath), &writer);
    if (WM_FAILED(result) || !writer) {
        prompter_.tell(" Failed to Create Audio Writer");
        return WM_FAILED(result) ? result : WM_E_POINTER;
    }
    writer_ = writer;
    result = writer_->lpVtbl->SetInputFormat(writer_, &input);
    if (WM_FAILED(result)) {
        releaseWriter();
        prompter_.tell(" Failed to Set Input Format");
        return result;
    }
    result = writer_->lpVtbl->SetOutputFormat(writer_, bitrate, sampleRate, channels, 0);
    if (WM_FAILED(result)) {
        releaseWriter();
        prompter_.tell(" Failed to Set Output Format");
        return result;
    }
    if (sampleRate != static_cast<std::uint32_t>(kCdSampleRate)) {
        resampler_ = std::make_unique<CdAudioResampler>(static_cast<int>(sampleRate),
                                                        static_cast<int>(channels),
                                                        CdAudioResampler::Layout::InterleavedInt16);
        if (!resampler_->ready()) {
            releaseWriter();
            prompter_.tell("internal error");
            return kInternalError;
        }
    }
    chunkSize = kWmaChunkBytes;
    writerChannels_ = channels;
    writeFailure_ = 0;
    return result;
}

std::int32_t WmaEncoder::setAttribute(std::string_view name, std::int32_t type,
                                      std::string_view value) {
    if (!writer_)
        return WM_E_UNEXPECTED;
    std::u16string wideName;
    std::u16string wideValue;
    if (!toWide(name, kMaxTextUnits, wideName) ||
        (type == WMT_TYPE_STRING && !toWide(value, kMaxTextUnits, wideValue))) {
        std::cout << " invalid args SetTitlen\n";
        return kInvalidArgument;
    }
    std::vector<std::uint8_t> bytes;
    if (type == WMT_TYPE_STRING) {
        const std::size_t length = (wideValue.size() + 1) * sizeof(char16_t);
        bytes.resize(length);
        std::memcpy(bytes.data(), wideValue.c_str(), length);
    } else if (type == WMT_TYPE_DWORD) {
        const std::string digits(value);
        const auto number = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
        bytes.resize(sizeof number);
        std::memcpy(bytes.data(), &number, sizeof number);
    } else {
        bytes.assign(value.begin(), value.end());
    }
    const std::int32_t result = writer_->lpVtbl->SetAttribute(
        writer_, units(wideName), type, bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    if (WM_FAILED(result)) {
        char code[16];
        std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(result));
        std::cout << " SetAttribute " << name << " Failed " << code << "\n";
    }
    return result;
}

std::int32_t WmaEncoder::enableDrm() {
    if (!writer_)
        return WM_E_UNEXPECTED;
    static const std::u16string kName = u"use_drm";
    const std::uint32_t on = 1;
    std::uint8_t value[sizeof on];
    std::memcpy(value, &on, sizeof on);
    const std::int32_t result =
        writer_->lpVtbl->SetAttribute(writer_, units(kName), WMT_TYPE_BOOL, value, sizeof value);
    if (WM_FAILED(result))
        prompter_.tell("SetAttribute use_drm failed");
    return result;
}

std::int32_t WmaEncoder::writeSamples(const std::uint8_t* bytes, std::uint32_t length) {
    if (length == 0 || !writer_)
        return 0;
    const std::int32_t result = writer_->lpVtbl->WriteSamples(writer_, bytes, length);
    if (WM_FAILED(result) && writeFailure_ == 0)
        writeFailure_ = result;
    return WM_FAILED(result) ? 0 : result;
}

void WmaEncoder::abandonWriter() {
    releaseWriter();
}

std::string WmaEncoder::failureText(std::int32_t result) {
    if (const int error = WM_ERRNO_OF(result))
        return std::strerror(error);
    char code[32];
    std::snprintf(code, sizeof code, "the writer failed (0x%08X)", static_cast<unsigned>(result));
    return code;
}

std::int32_t WmaEncoder::closeWriter() {
    if (!writer_)
        return 0;
    const std::int32_t result = writer_->lpVtbl->Flush(writer_);
    if (WM_FAILED(result))
        return result;
    releaseWriter();
    return 0;
}

void WmaEncoder::setAttributes(const WmaSettings& settings, const TagInfo& tags) {
    const bool v1 = tags.isV1 != 0;
    const struct {
        std::int32_t wanted;
        std::string_view name;
        const std::string& value;
    } attributes[] = {
        {settings.Title, "Title", v1 ? tags.Title1 : tags.Title2},
        {settings.Artist, "Author", v1 ? tags.Artist1 : tags.Artist2},
        {settings.Album, "WM/AlbumTitle", v1 ? tags.Album1 : tags.Album2},
        {settings.Composer, "WM/Composer", tags.Composer},
        {settings.Copyright, "Copyright", tags.CopyRight},
        {settings.Comment, "Description", v1 ? tags.Comment1 : tags.Comment2},
    };
    for (const auto& attribute : attributes)
        if (attribute.wanted == 1)
            setAttribute(attribute.name, WMT_TYPE_STRING, attribute.value);
    if (settings.DRM == 1)
        enableDrm();
}

bool WmaEncoder::writeWavData(std::FILE* input, ProgressSink* progress, const CancelToken& cancel) {
    const long long totalBytes = openFileSize(input);
    if (totalBytes <= kCanonicalWavHeaderBytes)
        return !cancel.stopRequested();
    // The header is skipped, not encoded as audio; it counts as done for the progress.
    std::fseek(input, kCanonicalWavHeaderBytes, SEEK_SET);
    long long bytesDone = kCanonicalWavHeaderBytes;
    std::vector<std::uint8_t> block(kWmaChunkBytes);
    while (bytesDone < totalBytes) {
        if (cancel.stopRequested() || writeFailure_ != 0)
            return false;
        const std::size_t count = std::fread(block.data(), 1, block.size(), input);
        if (count == 0)
            break;  // the file shrank or cannot be read: end it with what came in
        if (resampler_)
            writeResampled(block.data(), static_cast<int>(count / kCdFrameBytes));
        else
            writeSamples(block.data(),
                         static_cast<std::uint32_t>(
                             writerChannels_ == 1 ? mixToMono(block.data(), count) : count));
        bytesDone += static_cast<long long>(count);
        reportProgress(progress, bytesDone, totalBytes);
    }
    if (resampler_)
        writeResampled(nullptr, 0);  // the end of the audio, still in the resampler's filter
    return true;
}

// Resamples whole CD frames (a partial frame at the end is dropped) and hands them to the
// writer; no frames drain the resampler.
void WmaEncoder::writeResampled(const std::uint8_t* cdFrames, int frames) {
    const std::size_t frameBytes = resampler_->channels() * sizeof(std::int16_t);
    for (;;) {
        const int room = resampler_->roomFor(frames);
        if (room <= 0)
            return;
        resampled_.resize(static_cast<std::size_t>(room) * frameBytes);
        std::uint8_t* output[] = {resampled_.data()};
        const int made = resampler_->convert(cdFrames, frames, output, room);
        if (made <= 0)
            return;
        writeSamples(resampled_.data(), static_cast<std::uint32_t>(made * frameBytes));
        if (cdFrames)
            return;  // the whole block fitted in its room
    }
}

}  // namespace tonalda
