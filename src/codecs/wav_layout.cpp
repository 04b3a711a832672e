#include "codecs/wav_layout.h"

#include <cerrno>
#include <cstring>
#include <vector>

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
    std::error_code sizeError;
    const std::uint64_t fileSize = std::filesystem::file_size(file, sizeError);
    unsigned char riff[12];
    if (std::fread(riff, 1, sizeof riff, in.get()) != sizeof riff ||
        std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return std::nullopt;
    }
    WavLayout layout;
    bool haveFormat = false;
    std::uint64_t offset = 12;
    unsigned char chunk[8];
    while (std::fread(chunk, 1, sizeof chunk, in.get()) == sizeof chunk) {
        const std::uint32_t size = le32(chunk + 4);
        offset += 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            unsigned char format[16];
            if (std::fread(format, 1, sizeof format, in.get()) != sizeof format)
                break;
            layout.formatTag = le16(format);
            layout.channels = le16(format + 2);
            layout.sampleRate = le32(format + 4);
            layout.bitsPerSample = le16(format + 14);
            haveFormat = true;
            if (std::fseek(in.get(), static_cast<long>(size - 16 + (size & 1)), SEEK_CUR) != 0)
                break;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                break;
            layout.dataOffset = offset;
            const std::uint64_t available = fileSize > offset ? fileSize - offset : 0;
            layout.dataLength = std::min<std::uint64_t>(size, available);
            return layout;
        } else if (std::fseek(in.get(), static_cast<long>(size + (size & 1)), SEEK_CUR) != 0) {
            break;
        }
        offset += size + (size & 1);
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
