// Extracts every track of a 74-minute disc image to WAV files with jitter correction "Always"
// (block 26, overlap 3, jitter check 1) through the virtual drive, and copies the same tracks out
// of the image's BIN with standard tools (dd into ffmpeg writing WAV files), in one run,
// alternating and keeping each side's best wall time. Both must give the same audio, and our
// time may not exceed the plain copy's; the program fails otherwise.
//
// Usage: extract_bench [repeats]   (default 3)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "codecs/extractor.h"
#include "platform/cancel_token.h"
#include "platform/prompter.h"
#include "platform/shared_objects.h"

namespace fs = std::filesystem;
using namespace tonalda;

namespace {

// 15 tracks of 4:56 = 74 minutes.
constexpr int kTracks = 15;
const std::string kDisc = [] {
    std::string text = "seed 74\n";
    for (int i = 0; i < kTracks; ++i)
        text += "track audio 4:56:00\n";
    return text;
}();

class FailingPrompter final : public Prompter {
  public:
    PromptAnswer ask(const Prompt& prompt) override {
        std::cerr << "message: " << prompt.text << "\n";
        std::exit(2);
    }
};

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::cerr << "failed: " << command << "\n";
        std::exit(2);
    }
}

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peakKilobytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (std::system("command -v ffmpeg >/dev/null && command -v dd >/dev/null") != 0) {
        std::cerr << "ffmpeg and dd are needed: run scripts/install-deps.sh\n";
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() / ("tonalda-extract-bench-" + std::to_string(getpid()));
    fs::create_directories(work / "ours");
    fs::create_directories(work / "peer");
    {
        std::FILE* description = std::fopen((work / "disc.txt").c_str(), "w");
        std::fputs(kDisc.c_str(), description);
        std::fclose(description);
    }
    run(std::string(MKDISC_PATH) + " --cue-only " + (work / "disc.txt").string() + " " +
        work.string() + " disc");

    const std::string prefix = "tonalda-bench-" + std::to_string(getpid()) + "-";
    setenv("TONALDA_SHM_PREFIX", prefix.c_str(), 1);
    setenv("TONALDA_VDRIVE", (work / "disc.cue").c_str(), 1);
    CdEngineOptions options;
    options.aspiLibrary = VDRIVE_MODULE_PATH;
    CdEngine engine(options);
    engine.initCdEngine();
    CdDriveList drives{};
    drives.capacity = 8;
    engine.enumCdDrives(drives);
    if (drives.count != 1) {
        std::cerr << "the virtual drive did not load the image\n";
        return 2;
    }
    CdRomSettings settings{.blockSize = 26, .jitterCheck = 1, .overlap = 3, .always = 1};
    CdHandleRequest request;
    request.adapter = drives.drives[0].adapter;
    request.target = drives.drives[0].target;
    request.lun = drives.drives[0].lun;
    request.jitterCheckFrames = 1;
    request.overlapFrames = 3;
    const int handle = engine.getCDHandle(&request);
    DiscToc toc{};
    engine.readTOC(handle, toc);
    applyJitterOptions(engine, handle, settings);

    FailingPrompter prompter;
    const auto ours = [&] {
        Extractor extractor(engine, settings, prompter, neverCancelled());
        for (int t = 0; t < toc.lastTrack; ++t) {
            const std::uint32_t start = toc.tracks[t].lba();
            const std::uint32_t end = toc.tracks[t + 1].lba();
            char name[16];
            std::snprintf(name, sizeof name, "track%02d", t + 1);
            if (extractor.extractToWav(handle, start, end - start, work / "ours" / name) !=
                ExtractionResult::Completed)
                std::exit(2);
        }
    };
    std::string peer = "cd " + (work / "peer").string();
    for (int t = 0; t < toc.lastTrack; ++t) {
        const std::uint32_t start = toc.tracks[t].lba();
        const std::uint32_t count = toc.tracks[t + 1].lba() - start;
        char name[32];
        std::snprintf(name, sizeof name, "track%02d.wav", t + 1);
        peer += " && dd if=" + (work / "disc.bin").string() +
                " bs=2352 skip=" + std::to_string(start) + " count=" + std::to_string(count) +
                " status=none | ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i - "
                "-fflags +bitexact -flags:a +bitexact " +
                name;
    }
    double bestOurs = 1e9;
    double bestPeer = 1e9;
    for (int i = 0; i < repeats; ++i) {
        bestOurs = std::min(bestOurs, seconds(ours));
        bestPeer = std::min(bestPeer, seconds([&] { run(peer); }));
    }
    engine.closeCDHandle(handle);
    removeSharedObjectsWithPrefix(prefix);

    // Both sides must have read the same audio.
    int differing = 0;
    for (int t = 1; t <= kTracks; ++t) {
        char ours[32];
        std::snprintf(ours, sizeof ours, "track%02d.wav", t);
        const char* theirs = ours;
        const std::string compare = "cmp -s -i 44 " + (work / "ours" / ours).string() + " " +
                                    (work / "peer" / theirs).string();
        if (std::system(compare.c_str()) != 0)
            ++differing;
    }

    const double audioSeconds = kTracks * (4 * 60 + 56);
    std::printf("74-minute disc, %d runs each, best wall time\n", repeats);
    std::printf("  ours (Always, 26/3/1): %6.2f s  %6.0fx real time  peak %ld KB\n", bestOurs,
                audioSeconds / bestOurs, peakKilobytes(RUSAGE_SELF));
    std::printf("  dd | ffmpeg          : %6.2f s  %6.0fx real time  peak %ld KB\n", bestPeer,
                audioSeconds / bestPeer, peakKilobytes(RUSAGE_CHILDREN));
    std::printf("  ratio ours/peer      : %.2f\n", bestOurs / bestPeer);
    std::printf("  tracks whose audio differs: %d\n", differing);
    fs::remove_all(work);
    return bestOurs <= bestPeer && differing == 0 ? 0 : 1;
}
