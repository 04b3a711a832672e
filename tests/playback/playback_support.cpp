#include "playback_support.h"

#include <cstdlib>
#include <fstream>
#include <random>

namespace tonalda::test {

namespace {

constexpr std::size_t kProbeFrames = 64;

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

PulseServer& soundServer() {
    static PulseServer server;
    return server;
}

ScopedPulseServer::ScopedPulseServer(const std::string& server) {
    if (const char* outer = std::getenv("PULSE_SERVER"))
        outer_ = outer;
    setenv("PULSE_SERVER", server.c_str(), 1);
}

ScopedPulseServer::~ScopedPulseServer() {
    if (outer_)
        setenv("PULSE_SERVER", outer_->c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

std::vector<std::int16_t> distinctAudio(std::size_t frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> magnitude(1000, 30000);
    std::vector<std::int16_t> samples(frames * 2);
    for (std::int16_t& sample : samples)
        sample = static_cast<std::int16_t>((random() & 1 ? 1 : -1) * magnitude(random));
    return samples;
}

void writeWav(const std::filesystem::path& file, const std::vector<std::int16_t>& samples) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string bytes = "RIFF";
    putLe(bytes, 36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    putLe(bytes, 16, 4);
    putLe(bytes, 1, 2);  // PCM
    putLe(bytes, 2, 2);
    putLe(bytes, 44100, 4);
    putLe(bytes, 176400, 4);
    putLe(bytes, 4, 2);
    putLe(bytes, 16, 2);
    bytes += "data";
    putLe(bytes, dataBytes, 4);
    for (const std::int16_t sample : samples)
        putLe(bytes, static_cast<std::uint16_t>(sample), 2);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::size_t matchingFrames(const std::vector<std::int16_t>& source, std::size_t sourceFrame,
                           const std::vector<std::int16_t>& recording, std::size_t at) {
    std::size_t frames = 0;
    while (2 * (sourceFrame + frames) + 1 < source.size() &&
           2 * (at + frames) + 1 < recording.size() &&
           source[2 * (sourceFrame + frames)] == recording[2 * (at + frames)] &&
           source[2 * (sourceFrame + frames) + 1] == recording[2 * (at + frames) + 1])
        ++frames;
    return frames;
}

std::optional<std::size_t> sourceFrameOf(const std::vector<std::int16_t>& source,
                                         const std::vector<std::int16_t>& recording,
                                         std::size_t at) {
    const std::size_t sourceFrames = source.size() / 2;
    for (std::size_t frame = 0; frame + kProbeFrames <= sourceFrames; ++frame) {
        if (matchingFrames(source, frame, recording, at) >= kProbeFrames)
            return frame;
    }
    return std::nullopt;
}

std::size_t firstSoundFrame(const std::vector<std::int16_t>& recording, std::size_t from) {
    std::size_t frame = from;
    while (2 * frame + 1 < recording.size() && recording[2 * frame] == 0 &&
           recording[2 * frame + 1] == 0)
        ++frame;
    return frame;
}

std::size_t soundFrames(const std::vector<std::int16_t>& recording) {
    std::size_t frames = 0;
    for (std::size_t i = 0; i + 1 < recording.size(); i += 2)
        frames += recording[i] != 0 || recording[i + 1] != 0;
    return frames;
}

}  // namespace tonalda::test
