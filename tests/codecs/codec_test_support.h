#pragma once
// Shared by the encoder tests: a scratch folder with its own hive, canonical WAV files, and the
// independent tools (ffprobe, ffmpeg, ogginfo, vorbiscomment) that check what was written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "support/temp_dir.h"

namespace tonalda::test {

// The folder the real modules are built into.
inline std::filesystem::path moduleDir() {
    return TONALDA_MODULE_DIR;
}
// The folder of one of the modules built for the failure paths.
inline std::filesystem::path testModuleDir(const std::string& name) {
    return moduleDir() / "codecs-test" / name;
}

// A scratch folder with a hive whose Setup "path" names the install folder.
class EncoderScratch {
  public:
    explicit EncoderScratch(const std::filesystem::path& installFolder = moduleDir())
        : registry_(dir_ / "registry.reg") {
        setInstallFolder(installFolder);
    }

    const std::filesystem::path& path() const { return dir_.path(); }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return dir_ / name; }
    Registry& registry() { return registry_; }

    void setInstallFolder(const std::filesystem::path& folder) {
        registry_.createKey(registryKeyPath("Setup"))->writeString("path", folder.string());
    }

    // Writes DWORD values into a group's key, creating it.
    void setValues(const std::string& group,
                   const std::vector<std::pair<std::string, std::uint32_t>>& values) {
        auto key = registry_.createKey(registryKeyPath(group));
        for (const auto& [name, value] : values)
            key->writeDword(name, value);
    }

  private:
    TempDir dir_;
    Registry registry_;
};

// A canonical WAV file: the 44-byte header, then interleaved 16-bit stereo frames made by
// `sample(frame, channel)`, then `extraBytes` stray bytes.
template <typename Sample>
void writeWav(const std::filesystem::path& file, std::uint32_t frames, Sample sample,
              std::uint32_t extraBytes = 0, std::uint32_t rate = 44100) {
    const std::uint32_t dataBytes = frames * 4 + extraBytes;
    std::string bytes;
    const auto put32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    const auto put16 = [&bytes](std::uint32_t v) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>(v >> 8 & 0xFF);
    };
    bytes += "RIFF";
    put32(36 + dataBytes);
    bytes += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    bytes += "data";
    put32(dataBytes);
    for (std::uint32_t frame = 0; frame < frames; ++frame)
        for (int channel = 0; channel < 2; ++channel)
            put16(static_cast<std::uint16_t>(sample(frame, channel)));
    bytes.append(extraBytes, '\x01');
    writeFile(file, bytes);
}

// A 1 kHz tone on the left, 440 Hz on the right.
inline void writeToneWav(const std::filesystem::path& file, std::uint32_t frames,
                         std::uint32_t extraBytes = 0) {
    writeWav(
        file, frames,
        [](std::uint32_t frame, int channel) {
            const double hz = channel == 0 ? 1000.0 : 440.0;
            return static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hz * frame / 44100.0));
        },
        extraBytes);
}

// The same tone of `hz` on both channels.
inline void writeSameToneWav(const std::filesystem::path& file, std::uint32_t frames, double hz) {
    writeWav(file, frames, [hz](std::uint32_t frame, int) {
        return static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hz * frame / 44100.0));
    });
}

// Left and right in opposite phase: their mean is silence, either channel alone is loud.
inline void writeOpposedWav(const std::filesystem::path& file, std::uint32_t frames) {
    writeWav(file, frames, [](std::uint32_t frame, int channel) {
        const auto value = static_cast<std::int16_t>(16000 * std::sin(frame * 0.1));
        return static_cast<std::int16_t>(channel == 0 ? value : -value);
    });
}

// The largest magnitude among the samples.
inline int peak(const std::vector<std::int16_t>& samples) {
    int loudest = 0;
    for (const auto sample : samples)
        loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
    return loudest;
}

struct CommandResult {
    int status = -1;
    std::string output;  // standard output, and standard error when asked for
};

inline CommandResult runCommand(const std::string& command, bool withErrors = true) {
    CommandResult result;
    const std::string line = withErrors ? command + " 2>&1" : command;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(line.c_str(), "r"), pclose);
    if (!pipe)
        return result;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        result.output.append(buffer, n);
    result.status = pclose(pipe.release());
    return result;
}

inline std::string quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (const char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// ffprobe's key=value lines for the first audio stream and the container's tags.
inline std::map<std::string, std::string> probe(const std::filesystem::path& file) {
    const auto result = runCommand(
        "ffprobe -v error -select_streams a:0 -show_entries "
        "stream=codec_name,sample_rate,channels,bit_rate:format=duration,bit_rate:format_tags "
        "-of default=noprint_wrappers=1 " +
        quoted(file));
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < result.output.size()) {
        const std::size_t end = result.output.find('\n', start);
        const std::string line = result.output.substr(start, end - start);
        if (const std::size_t eq = line.find('='); eq != std::string::npos)
            fields.emplace(line.substr(0, eq), line.substr(eq + 1));
        start = end == std::string::npos ? result.output.size() : end + 1;
    }
    return fields;
}

// Decodes the file to 16-bit PCM with ffmpeg: interleaved samples at the file's own rate.
inline std::vector<std::int16_t> decode(const std::filesystem::path& file) {
    const auto result =
        runCommand("ffmpeg -v error -i " + quoted(file) + " -f s16le -acodec pcm_s16le - ", false);
    std::vector<std::int16_t> samples(result.output.size() / 2);
    std::memcpy(samples.data(), result.output.data(), samples.size() * 2);
    return samples;
}

// The pitch of the tone in one channel of interleaved PCM at `rate` Hz, from its rising zero
// crossings. A crossing counts only from below -2000 to above +2000, so coding noise near zero
// adds none.
inline double toneFrequency(const std::vector<std::int16_t>& samples, int channels, int channel,
                            int rate) {
    constexpr int kThreshold = 2000;
    bool below = false;
    long long first = -1;
    long long last = -1;
    long long crossings = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size();
         i += static_cast<std::size_t>(channels)) {
        if (samples[i] < -kThreshold) {
            below = true;
        } else if (below && samples[i] > kThreshold) {
            below = false;
            last = static_cast<long long>(i) / channels;
            if (first < 0)
                first = last;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : static_cast<double>(crossings - 1) * rate / (last - first);
}

// An encoded file made from `seconds` of CD audio: ffprobe reports `rate` and one channel per
// tone; it lasts as long as its input, give or take a codec's padding (the length ffprobe reads
// from the headers may count two or three MP3 frames of 72 ms at 8000 Hz); decoded, each channel
// has its tone at the pitch it had in the input.
inline void expectSameAudioAt(const std::filesystem::path& file, int rate, double seconds,
                              const std::vector<double>& tones) {
    auto fields = probe(file);
    EXPECT_EQ(fields["sample_rate"], std::to_string(rate));
    const int channels = static_cast<int>(tones.size());
    EXPECT_EQ(fields["channels"], std::to_string(channels));
    ASSERT_TRUE(fields.count("duration")) << file;
    EXPECT_NEAR(std::stod(fields["duration"]), seconds, 0.25);
    const auto samples = decode(file);
    EXPECT_NEAR(static_cast<double>(samples.size()) / channels / rate, seconds, 0.1);
    for (int channel = 0; channel < channels; ++channel)
        EXPECT_NEAR(toneFrequency(samples, channels, channel, rate), tones[channel],
                    tones[channel] * 0.005)
            << "channel " << channel;
}

}  // namespace tonalda::test
