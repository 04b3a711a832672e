// Rips every track of a 74-minute disc image with tonalda-cli (jitter correction "Always", as many
// encoder workers as cores) and makes the same files with the standard tools: cd-paranoia reading
// the same CUE/BIN image track by track, into a WAV file or piped into lame -V2, oggenc -q5 or
// ffmpeg's wmav2 at 128 kbit/s. Runs alternate and each side keeps its best wall time.
//
// Reported per format: both times and their ratio, tonalda-cli's peak memory and the peak disk use
// of its temporary files (extracted tracks waiting for an encoder and outputs not yet renamed).
// The program fails when the MP3 rip takes more than 0.60 of the pipeline's time, when the WAV rip
// is slower than cd-paranoia, or when the peak memory reaches 64 MB plus 32 MB per worker.
//
// Then the throttled case: the first six tracks from a drive reading at 24 times real time, ripped
// to WAV (the extraction alone) and to MP3; the MP3 rip should take about the extraction time plus
// the encoding of the last track alone, which is measured by converting that track's WAV file.
//
// Usage: rip_bench [repeats]   (default 2; the peers come with install-deps.sh --bench)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/registry.h"
#include "platform/shared_objects.h"
#include "platform/worker_pool.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kTracks = 20;
constexpr int kTrackFrames = (3 * 60 + 42) * 75;  // 20 tracks of 3:42 make 74 minutes
constexpr int kThrottledTracks = 6;
constexpr double kMp3RatioLimit = 0.60;
constexpr double kBaseMemoryMb = 64.0;
constexpr double kMemoryPerWorkerMb = 32.0;

using Environment = std::map<std::string, std::string>;

struct Run {
    double seconds = 0;
    double peakMb = 0;
    double peakTempMb = 0;
    int status = -1;
};

// Bytes of the regular files under `folder`, and of the hidden ones (outputs still being
// written) when `hiddenOnly` is set. Files may vanish while they are counted.
std::uintmax_t bytesUnder(const fs::path& folder, bool hiddenOnly) {
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (hiddenOnly && it->path().filename().string().starts_with(".") == false)
            continue;
        std::error_code sizeError;
        const std::uintmax_t size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
        if (!sizeError)
            total += size;
    }
    return total;
}

// Runs the program with the environment and waits, measuring wall time, the child's peak resident
// memory and, when `tempFolders` are given, the peak bytes in them (the first counted whole, the
// others their hidden files only). Its standard output is dropped; its errors are shown.
Run runProgram(const std::vector<std::string>& arguments, const Environment& environment,
               const std::vector<fs::path>& tempFolders = {}) {
    std::vector<std::string> envText;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!environment.contains(text.substr(0, text.find('='))))
            envText.push_back(text);
    }
    for (const auto& [name, value] : environment)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText = arguments;
    std::vector<char*> argv;
    for (auto& text : argText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    std::atomic<bool> ended{false};
    std::uintmax_t peakTemp = 0;
    std::thread sampler([&] {
        while (!tempFolders.empty() && !ended.load()) {
            std::uintmax_t bytes = 0;
            for (std::size_t i = 0; i < tempFolders.size(); ++i)
                bytes += bytesUnder(tempFolders[i], i != 0);
            peakTemp = std::max(peakTemp, bytes);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ended = true;
    sampler.join();
    run.peakMb = usage.ru_maxrss / 1024.0;
    run.peakTempMb = peakTemp / (1024.0 * 1024.0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The drive list treats ',' ';' and '\' specially.
std::string driveListPath(const fs::path& path) {
    std::string escaped;
    for (const char c : path.string()) {
        if (c == ',' || c == ';' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string quoted(const fs::path& path) {
    std::string out = "'";
    for (const char c : path.string())
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// One shell script that reads every track of the image with cd-paranoia, into a WAV file when
// `encoder` is empty, else as a WAV stream into the encoder, which ends with its output's name.
std::string peerScript(const fs::path& cue, const fs::path& out, const std::string& encoder,
                       const std::string& extension) {
    std::string script = "set -e\n";
    for (int track = 1; track <= kTracks; ++track) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02d", track);
        const std::string output = quoted(out / (std::string(name) + extension));
        // cd-paranoia says on every track that the image cannot change its read speed.
        const std::string reader =
            "cd-paranoia -q -d " + quoted(cue) + " " + std::to_string(track) + " 2>/dev/null ";
        script += encoder.empty() ? reader + output + "\n"
                                  : reader + "- | " + encoder + " " + output + "\n";
    }
    return script;
}

void freshFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

bool writeScript(const fs::path& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure shows as soon as it is known
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    const int workers = tonalda::availableCores();
    const fs::path scratch =
        fs::temp_directory_path() / ("tonalda-rip-bench-" + std::to_string(getpid()));
    freshFolder(scratch);
    const std::string prefix = "tonalda-rip-bench-" + std::to_string(getpid()) + "-";

    std::string description = "gen:seed 3";
    for (int track = 0; track < kTracks; ++track)
        description += "/track audio " + std::to_string(kTrackFrames);
    if (runProgram({MKDISC_PATH, "--cue-only", description, scratch.string(), "disc"}, {}).status !=
        0) {
        std::cerr << "tonalda-mkdisc failed\n";
        return 1;
    }
    const fs::path cue = scratch / "disc.cue";
    const fs::path temp = scratch / "temp";
    fs::create_directories(temp);

    const fs::path hive = scratch / "registry.reg";
    Environment environment = {{"HOME", (scratch / "home").string()},
                               {"XDG_CONFIG_HOME", (scratch / "config").string()},
                               {"XDG_CACHE_HOME", (scratch / "cache").string()},
                               {"XDG_DATA_HOME", (scratch / "data").string()},
                               {"TONALDA_HIVE", hive.string()},
                               {"TONALDA_SHM_PREFIX", prefix},
                               {"TONALDA_ASPI_LIBRARY", VDRIVE_MODULE_PATH},
                               {"TONALDA_VDRIVE", driveListPath(cue) + ",noaudio"}};
    fs::create_directories(scratch / "home");
    if (runProgram({SETUP_PATH}, environment).status != 0) {
        std::cerr << "tonalda-setup failed\n";
        return 1;
    }
    {
        // The installed MP3 settings are VBR quality 2; Ogg and WMA are set to the peers' q5 and
        // 128 kbit/s, and the temporary files go where their size is measured.
        tonalda::Registry registry(hive);
        registry.openKey(tonalda::registryKeyPath("Setup"), tonalda::RegistryAccess::Write)
            ->writeString("path", TONALDA_MODULE_DIR);
        registry.openKey(tonalda::registryKeyPath("Misc"), tonalda::RegistryAccess::Write)
            ->writeString("Temppath", temp.string());
        tonalda::OggSettings ogg;
        tonalda::WmaSettings wma;
        if (!ogg.load(registry) || !wma.load(registry)) {
            std::cerr << "the installed Ogg or WMA settings cannot be read\n";
            return 1;
        }
        ogg.VBR = 1;
        ogg.Quality = 50;
        wma.Bitrate = 4;  // 128 kbit/s
        if (!ogg.save(registry) || !wma.save(registry)) {
            std::cerr << "the Ogg or WMA settings cannot be written\n";
            return 1;
        }
    }

    const fs::path ours = scratch / "ours";
    const fs::path peer = scratch / "peer";
    const fs::path script = scratch / "peer.sh";
    struct Case {
        const char* name;
        const char* format;
        std::string encoder;  // empty: cd-paranoia writes the WAV file itself
        const char* extension;
        double ratioLimit;  // 0: reported only
    };
    const Case cases[] = {
        {"WAV", "wav", "", ".wav", 1.0},
        {"MP3 VBR quality 2", "mp3", "lame --silent -V2 -", ".mp3", kMp3RatioLimit},
        {"Ogg q5", "ogg", "oggenc -Q -q5 - -o", ".ogg", 0},
        {"WMA 128 kbit/s", "wma", "ffmpeg -v error -i - -c:a wmav2 -b:a 128k -y", ".wma", 0},
    };

    const double memoryLimitMb = kBaseMemoryMb + kMemoryPerWorkerMb * workers;
    std::printf("%d encoder workers; %d tracks of %d frames\n", workers, kTracks, kTrackFrames);
    bool ok = true;
    for (const Case& c : cases) {
        Run best{1e9, 0, 0, 0};
        Run bestPeer{1e9, 0, 0, 0};
        if (!writeScript(script, peerScript(cue, peer, c.encoder, c.extension))) {
            std::cerr << "cannot write " << script << "\n";
            return 1;
        }
        for (int round = 0; round < repeats; ++round) {
            // Alternate which side runs first so that neither always finds a warm cache.
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side == 0) == (round % 2 == 0);
                if (oursNow) {
                    freshFolder(ours);
                    const Run run =
                        runProgram({CLI_PATH, "rip", "--format", c.format, "--out", ours.string()},
                                   environment, {temp, ours});
                    if (run.status != 0) {
                        std::cerr << "tonalda-cli rip failed (" << run.status << ")\n";
                        ok = false;
                    }
                    best.seconds = std::min(best.seconds, run.seconds);
                    best.peakMb = std::max(best.peakMb, run.peakMb);
                    best.peakTempMb = std::max(best.peakTempMb, run.peakTempMb);
                } else {
                    freshFolder(peer);
                    const Run run = runProgram({"/bin/sh", script.string()}, {});
                    if (run.status != 0) {
                        std::cerr << "the peer pipeline failed (" << run.status << ")\n";
                        ok = false;
                    }
                    bestPeer.seconds = std::min(bestPeer.seconds, run.seconds);
                }
            }
        }
        const double ratio = best.seconds / bestPeer.seconds;
        const std::string peerName =
            c.encoder.empty() ? "cd-paranoia"
                              : "cd-paranoia | " + c.encoder.substr(0, c.encoder.find(' '));
        std::printf(
            "%-18s tonalda-cli %7.2f s (peak %.1f MB, temporary files %.1f MB)   %s %7.2f s   "
            "ratio %.3f\n",
            c.name, best.seconds, best.peakMb, best.peakTempMb, peerName.c_str(), bestPeer.seconds,
            ratio);
        if (c.ratioLimit > 0 && ratio > c.ratioLimit) {
            std::printf("  FAIL: the ratio is above %.2f\n", c.ratioLimit);
            ok = false;
        }
        if (best.peakMb >= memoryLimitMb) {
            std::printf("  FAIL: peak memory %.1f MB is not under %.0f MB\n", best.peakMb,
                        memoryLimitMb);
            ok = false;
        }
    }

    // The throttled drive: the encoders should hide behind it.
    Environment throttled = environment;
    throttled["TONALDA_VDRIVE"] = driveListPath(cue) + ",noaudio,speed=24";
    const std::string tracks = "1-" + std::to_string(kThrottledTracks);
    freshFolder(peer);
    const Run extraction =
        runProgram({CLI_PATH, "rip", "--tracks", tracks, "--format", "wav", "--out", peer.string()},
                   throttled);
    std::vector<fs::path> wavs;
    for (const auto& entry : fs::directory_iterator(peer))
        wavs.push_back(entry.path());
    std::sort(wavs.begin(), wavs.end());
    freshFolder(ours);
    const Run lastEncode = wavs.empty()
                               ? Run{}
                               : runProgram({CLI_PATH, "convert", "--format", "mp3", "--jobs", "1",
                                             "--out", ours.string(), wavs.back().string()},
                                            environment);
    freshFolder(ours);
    const Run ripped =
        runProgram({CLI_PATH, "rip", "--tracks", tracks, "--format", "mp3", "--out", ours.string()},
                   throttled);
    if (extraction.status != 0 || lastEncode.status != 0 || ripped.status != 0 ||
        wavs.size() != kThrottledTracks) {
        std::cerr << "the throttled rips failed\n";
        ok = false;
    }
    const double expected = extraction.seconds + lastEncode.seconds;
    std::printf(
        "Throttled (speed=24, %d tracks): MP3 rip %.2f s; extraction %.2f s + last track's "
        "encoding %.2f s = %.2f s; ratio %.3f\n",
        kThrottledTracks, ripped.seconds, extraction.seconds, lastEncode.seconds, expected,
        ripped.seconds / expected);

    tonalda::removeSharedObjectsWithPrefix(prefix);
    fs::remove_all(scratch);
    return ok ? 0 : 1;
}
