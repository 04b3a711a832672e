#include "codecs/wav_layout.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "codecs/stdio_file.h"
#include "codecs/wav_writer.h"
#include "platform/file.h"

namespace tonalda {
namespace {

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// The sub-format of WAVE_FORMAT_EXTENSIBLE that means integer PCM: its tag 1 followed by the
// fixed tail of the format GUIDs.
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr unsigned char kPcmSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::uint32_t kExtensibleFormatBytes = 40;

// The format tag the chunk stands for: an extensible format takes its sub-format's tag.
std::uint16_t effectiveFormatTag(const unsigned char* format, std::uint32_t size) {
    const std::uint16_t tag = le16(format);
    if (tag != kFormatExtensible)
        return tag;
    if (size < kExtensibleFormatBytes || le16(format + 16) < 22 ||
        std::memcmp(format + 26, kPcmSubFormatTail, sizeof kPcmSubFormatTail) != 0)
        return tag;
    return le16(format + 24);
}

}  // namespace

bool WavLayout::isCdAudio() const {
    return formatTag == 1 && channels == 2 && sampleRate == 44100 && bitsPerSample == 16;
}

std::optional<WavLayout> readWavLayout(const std::filesystem::path& file, std::string& error) {
    UniqueFile in = openFile(file, "rb");
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    const long long openSize = openFileSize(in.get());
    return readWavLayout(in.get(), openSize > 0 ? static_cast<std::uint64_t>(openSize) : 0, error);
}

std::optional<WavLayout> readWavLayout(std::FILE* in, std::uint64_t fileSize, std::string& error) {
    unsigned char riff[12];
    if (std::fread(riff, 1, sizeof riff, in) != sizeof riff || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return std::nullopt;
    }
    WavLayout layout;
    layout.fileSize = fileSize;
    bool haveFormat = false;
    std::uint64_t offset = 12;
    unsigned char chunk[8];
    while (std::fread(chunk, 1, sizeof chunk, in) == sizeof chunk) {
        const std::uint32_t size = le32(chunk + 4);
        offset += 8;
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                break;
            layout.dataOffset = offset;
            const std::uint64_t available = fileSize > offset ? fileSize - offset : 0;
            layout.dataLength = std::min<std::uint64_t>(size, available);
            return layout;
        }
        // In 64 bits: a stated size of 0xFFFFFFFF and its pad byte must not wrap to 0.
        const std::uint64_t padded = std::uint64_t{size} + (size & 1);
        if (offset + padded > fileSize)
            break;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            unsigned char format[kExtensibleFormatBytes] = {};
            const std::size_t wanted = std::min<std::size_t>(size, sizeof format);
            if (std::fread(format, 1, wanted, in) != wanted)
                break;
            layout.formatTag = effectiveFormatTag(format, static_cast<std::uint32_t>(wanted));
            layout.channels = le16(format + 2);
            layout.sampleRate = le32(format + 4);
            layout.bitsPerSample = le16(format + 14);
            haveFormat = true;
        }
        offset += padded;
        if (std::fseek(in, static_cast<long>(offset), SEEK_SET) != 0)
            break;
    }
    error = haveFormat ? "no audio data" : "not a WAV file";
    return std::nullopt;
}

bool writeCanonicalCopy(const std::filesystem::path& source, const WavLayout& layout,
                        const std::filesystem::path& target, std::string& error) {
    UniqueFile in = openFile(source, "rb");
    UniqueFile out = in ? openFile(target, "wb") : nullptr;
    if (!in || !out) {
        error = std::strerror(errno);
        return false;
    }
    const std::uint64_t length = std::min<std::uint64_t>(layout.dataLength, 0xFFFFFFFFu - 36);
    if (!writeWavHeader(out.get(), static_cast<std::uint32_t>(length)) ||
        std::fseek(in.get(), static_cast<long>(layout.dataOffset), SEEK_SET) != 0) {
        error = "cannot write " + target.string();
        return false;
    }
    std::vector<char> buffer(1 << 16);
    for (std::uint64_t left = length; left > 0;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const std::size_t got = std::fread(buffer.data(), 1, want, in.get());
        if (got == 0 || std::fwrite(buffer.data(), 1, got, out.get()) != got) {
            error = "cannot copy the audio into " + target.string();
            return false;
        }
        left -= got;
    }
    if (std::fflush(out.get()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tonalda
