// Encodes the same 10-minute WAV with our MP3, Ogg Vorbis and WMA encoders and with the peer
// tools at equivalent settings (lame -b 128 -m j without the ReplayGain analysis we do not do
// either, oggenc -q 4, ffmpeg -c:a wmav2 -b:a 128k), alternating runs and keeping each side's best
// wall time. Our time may be at most 1.05 times the peer's for MP3 and Ogg and 1.10 times for WMA;
// the program fails when it is not.
//
// Usage: encoders_bench [repeats]   (default 5; the peers come with install-deps.sh --bench)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>

#include "codecs/mp3_encoder.h"
#include "codecs/ogg_encoder.h"
#include "codecs/ogg_settings.h"
#include "codecs/stdio_file.h"
#include "codecs/wma_encoder.h"
#include "platform/cancel_token.h"
#include "platform/prompter.h"
#include "platform/registry.h"

namespace fs = std::filesystem;
using namespace tonalda;

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kSeconds = 600;

// A prompter for a program without windows: messages go to the standard error.
class PrintingPrompter final : public Prompter {
  public:
    PromptAnswer ask(const Prompt& prompt) override {
        std::cerr << "message: " << prompt.text << "\n";
        failed = true;
        return PromptAnswer::Ok;
    }
    bool failed = false;
};

// Music-like material: a few drifting tones with some noise, so the encoders work as on real
// audio rather than on silence.
void writeTestWav(const fs::path& file) {
    const std::uint32_t frames = kRate * kSeconds;
    std::ofstream out(file, std::ios::binary);
    const auto put32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<char*>(&v), 4); };
    const auto put16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + frames * 4);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(kRate);
    put32(kRate * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(frames * 4);
    std::minstd_rand noise(7);
    std::vector<std::int16_t> block;
    block.reserve(2 * kRate);
    for (std::uint32_t second = 0; second < kSeconds; ++second) {
        block.clear();
        for (std::uint32_t i = 0; i < kRate; ++i) {
            const double t = (second * kRate + i) / static_cast<double>(kRate);
            const double base = 220.0 * (1.0 + 0.5 * std::sin(t * 0.05));
            const double music = 0.3 * std::sin(2 * M_PI * base * t) +
                                 0.2 * std::sin(2 * M_PI * base * 1.5 * t) +
                                 0.1 * std::sin(2 * M_PI * base * 4.0 * t);
            const double hiss = (static_cast<double>(noise() % 2001) - 1000.0) / 20000.0;
            block.push_back(static_cast<std::int16_t>(32767 * std::clamp(music + hiss, -1.0, 1.0)));
            block.push_back(static_cast<std::int16_t>(32767 * std::clamp(music - hiss, -1.0, 1.0)));
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 2));
    }
}

struct Times {
    double wall = 1e9;
    double cpu = 1e9;
};

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall time, and the processor time of this process (ours) or of its children (a peer), which
// shows whether a slow wall time came from a busy machine.
void measure(const std::function<void()>& work, int who, Times& best) {
    const double cpuStart = cpuSeconds(who);
    const auto start = std::chrono::steady_clock::now();
    work();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpuSeconds(who) - cpuStart);
}

void runPeer(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "peer failed: " << command << "\n";
        std::exit(2);
    }
}

struct Comparison {
    const char* name;
    double limit;
    std::function<void()> ours;
    std::function<void()> peer;
};

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char pattern[] = "/tmp/tonalda-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    const fs::path dir = pattern;
    const fs::path wav = dir / "input.wav";
    std::cout << "Writing " << kSeconds / 60 << " minutes of test audio..." << std::endl;
    writeTestWav(wav);

    Registry registry(dir / "registry.reg");
    registry.createKey(registryKeyPath("Setup"))->writeString("path", TONALDA_MODULE_DIR);
    auto mp3 = registry.createKey(registryKeyPath("MP3"));
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, std::uint32_t>>{
             {"Original", 1}, {"VBRHeader", 1}, {"Mode", 1}, {"CBR", 1}, {"BitRate", 11}})
        mp3->writeDword(name, value);

    PrintingPrompter prompter;
    Mp3Encoder mp3Encoder(registry, prompter);
    mp3Encoder.loadEncoder();
    OggSettings oggSettings;
    oggSettings.Stereo = 1;
    oggSettings.VBR = 1;
    oggSettings.Quality = 40;
    OggEncoder oggEncoder(oggSettings);
    WmaEncoder wmaEncoder(registry, prompter);
    const std::string in = "'" + wav.string() + "'";
    const std::string out = "'" + dir.string() + "/peer";

    const Comparison comparisons[] = {
        {"MP3 CBR 128 kbit/s joint stereo", 1.05,
         [&] {
             mp3Encoder.encodeFileTo(wav, (dir / "ours.wav").string(), nullptr, neverCancelled());
         },
         [&] { runPeer("lame --silent --noreplaygain -b 128 -m j " + in + " " + out + ".mp3'"); }},
        {"Ogg Vorbis quality 4", 1.05,
         [&] {
             UniqueFile input = openFile(wav, "rb");
             UniqueFile output = openFile(dir / "ours.ogg", "wb");
             std::fseek(input.get(), 44, SEEK_SET);
             if (oggEncoder.beginStream(output.get(), nullptr))
                 oggEncoder.encodeStream(input.get(), output.get(), nullptr, neverCancelled());
             oggEncoder.endStream();
         },
         [&] { runPeer("oggenc -Q -q 4 -o " + out + ".ogg' " + in); }},
        {"WMA v2 128 kbit/s", 1.10,
         [&] {
             std::uint32_t chunk = 0;
             if (wmaEncoder.openWriter(dir / "ours.wma", 128000, kRate, 2, chunk) < 0)
                 return;
             UniqueFile input = openFile(wav, "rb");
             wmaEncoder.writeWavData(input.get(), nullptr, neverCancelled());
             wmaEncoder.closeWriter();
         },
         [&] {
             runPeer("ffmpeg -v error -y -i " + in + " -c:a wmav2 -b:a 128k " + out + ".wma'");
         }},
    };

    bool allWithin = true;
    for (const auto& comparison : comparisons) {
        Times ours;
        Times peer;
        // Who goes first alternates, so neither side always meets the other's after-effects.
        for (int run = 0; run < repeats; ++run) {
            if (run % 2 == 0)
                measure(comparison.ours, RUSAGE_SELF, ours);
            measure(comparison.peer, RUSAGE_CHILDREN, peer);
            if (run % 2 == 1)
                measure(comparison.ours, RUSAGE_SELF, ours);
        }
        const double ratio = ours.wall / peer.wall;
        const bool within = ratio <= comparison.limit && !prompter.failed;
        allWithin = allWithin && within;
        std::printf(
            "%-32s wall: ours %6.2f s, peer %6.2f s, ratio %.3f (limit %.2f) %s;"
            " processor: ours %6.2f s, peer %6.2f s, ratio %.3f\n",
            comparison.name, ours.wall, peer.wall, ratio, comparison.limit,
            within ? "ok" : "TOO SLOW", ours.cpu, peer.cpu, ours.cpu / peer.cpu);
        std::fflush(stdout);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return allWithin ? 0 : 1;
}
