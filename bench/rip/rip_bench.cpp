// Rips every track of a 74-minute disc image with tonalda-cli, to WAV and to MP3 (VBR quality 2,
// the installed settings, jitter correction "Always"), and makes the same files from the image's
// BIN with a pipeline of standard tools: dd cutting each track, into ffmpeg for a WAV file or into
// lame -V2 for an MP3 file. Runs alternate and each side keeps its best wall time. Our time may not
// exceed the pipeline's and tonalda-cli's peak memory must stay under 64 MB; the program fails
// when either does not hold.
//
// Usage: rip_bench [repeats]   (default 2; lame comes with install-deps.sh --bench)

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/shared_objects.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kTracks = 20;
constexpr int kTrackFrames = (3 * 60 + 42) * 75;  // 20 tracks of 3:42 make 74 minutes
constexpr double kPeakLimitMb = 64.0;

struct Run {
    double seconds = 0;
    double peakMb = 0;
    int status = -1;
};

// Runs the program with the environment and waits, measuring wall time and the child's peak
// resident memory. Its standard output is dropped; its errors are shown.
Run runProgram(const std::vector<std::string>& arguments,
               const std::map<std::string, std::string>& environment) {
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
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMb = usage.ru_maxrss / 1024.0;
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

// One shell script that cuts every track out of the BIN with dd and hands it to the encoder.
std::string peerScript(const fs::path& bin, const fs::path& out, const std::string& encoder,
                       const std::string& extension) {
    std::string script = "set -e\n";
    for (int track = 0; track < kTracks; ++track) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02d", track + 1);
        script += "dd if=" + quoted(bin) + " bs=2352 skip=" + std::to_string(track * kTrackFrames) +
                  " count=" + std::to_string(kTrackFrames) + " status=none | " + encoder + " " +
                  quoted(out / (std::string(name) + extension)) + "\n";
    }
    return script;
}

void freshFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
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
    const fs::path bin = scratch / "disc.bin";

    const std::map<std::string, std::string> environment = {
        {"HOME", (scratch / "home").string()},
        {"XDG_CONFIG_HOME", (scratch / "config").string()},
        {"XDG_CACHE_HOME", (scratch / "cache").string()},
        {"XDG_DATA_HOME", (scratch / "data").string()},
        {"TONALDA_HIVE", (scratch / "registry.reg").string()},
        {"TONALDA_SHM_PREFIX", prefix},
        {"TONALDA_ASPI_LIBRARY", VDRIVE_MODULE_PATH},
        {"TONALDA_VDRIVE", driveListPath(cue) + ",noaudio"}};
    fs::create_directories(scratch / "home");
    if (runProgram({SETUP_PATH}, environment).status != 0) {
        std::cerr << "tonalda-setup failed\n";
        return 1;
    }
    tonalda::Registry(scratch / "registry.reg")
        .openKey(tonalda::registryKeyPath("Setup"), tonalda::RegistryAccess::Write)
        ->writeString("path", TONALDA_MODULE_DIR);

    const fs::path ours = scratch / "ours";
    const fs::path peer = scratch / "peer";
    const fs::path script = scratch / "peer.sh";
    struct Case {
        const char* name;
        const char* format;
        std::string encoder;
        const char* extension;
    };
    const Case cases[] = {
        {"WAV", "wav", "ffmpeg -v error -f s16le -ar 44100 -ac 2 -i - -y", ".wav"},
        {"MP3 VBR quality 2", "mp3",
         // lame warns on every run that its input library might not honour -r; it does here.
         "lame --silent -r -s 44.1 --bitwidth 16 --little-endian -m j -V 2 - 2>/dev/null", ".mp3"},
    };

    bool ok = true;
    for (const Case& c : cases) {
        Run best{1e9, 0, 0};
        Run bestPeer{1e9, 0, 0};
        {
            FILE* file = std::fopen(script.c_str(), "w");
            const std::string text = peerScript(bin, peer, c.encoder, c.extension);
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
        for (int round = 0; round < repeats; ++round) {
            // Alternate which side runs first so that neither always finds a warm cache.
            for (int side = 0; side < 2; ++side) {
                const bool oursNow = (side == 0) == (round % 2 == 0);
                if (oursNow) {
                    freshFolder(ours);
                    const Run run =
                        runProgram({CLI_PATH, "rip", "--format", c.format, "--out", ours.string()},
                                   environment);
                    if (run.status != 0) {
                        std::cerr << "tonalda-cli rip failed (" << run.status << ")\n";
                        ok = false;
                    }
                    if (run.seconds < best.seconds)
                        best.seconds = run.seconds;
                    best.peakMb = std::max(best.peakMb, run.peakMb);
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
        std::printf("%-18s tonalda-cli %7.2f s (peak %.1f MB)   dd | %s %7.2f s   ratio %.3f\n",
                    c.name, best.seconds, best.peakMb,
                    c.encoder.substr(0, c.encoder.find(' ')).c_str(), bestPeer.seconds, ratio);
        if (ratio > 1.0) {
            std::printf("  FAIL: tonalda-cli is slower than the pipeline\n");
            ok = false;
        }
        if (best.peakMb >= kPeakLimitMb) {
            std::printf("  FAIL: peak memory %.1f MB is not under %.0f MB\n", best.peakMb,
                        kPeakLimitMb);
            ok = false;
        }
    }
    tonalda::removeSharedObjectsWithPrefix(prefix);
    fs::remove_all(scratch);
    return ok ? 0 : 1;
}
