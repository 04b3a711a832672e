// Fuzzes the CUE path of the virtual drive from the sheet to the sectors a drive serves: the
// sheet's own line checks, libcue, the layout of FILEs and gaps, and reads through the image.
// Every FILE the sheet names is one of two real files made once: a BIN of 40 frames and a short
// WAV (names ending in an odd byte), so that the layout meets real sizes and real reads.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cue_disc.h"
#include "sector.h"

using namespace tonalda::vdrive;

namespace {

constexpr size_t kBinFrames = 40;

std::filesystem::path makeFiles() {
    char pattern[] = "/tmp/cue-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::abort();
    }
    const std::filesystem::path folder = pattern;
    std::ofstream bin(folder / "a.bin", std::ios::binary);
    for (size_t i = 0; i < kBinFrames * kFrameBytes; ++i) {
        bin.put(static_cast<char>(i * 131 >> 3));
    }
    // A WAV of 7.5 frames of CD audio: its last frame is partial.
    const uint32_t data = static_cast<uint32_t>(kFrameBytes * 15 / 2);
    std::string wav = "RIFF....WAVEfmt ";
    const auto put = [&wav](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wav += static_cast<char>(value >> (8 * i));
        }
    };
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(176400, 4), put(4, 2), put(16, 2);
    wav += "data";
    put(data, 4);
    wav.append(data, '\x42');
    std::ofstream(folder / "b.wav", std::ios::binary) << wav;
    return folder;
}

void checkDisc(const ImageDisc& disc, const ImageLayout& layout) {
    int64_t next = 0;
    for (const Segment& segment : layout.segments) {
        if (segment.startLba != next || segment.frames < 0) {
            std::abort();
        }
        next += segment.frames;
    }
    if (next != layout.leadOut || layout.leadOut > kMaxDiscFrames) {
        std::abort();
    }
    uint8_t sector[kFrameBytes];
    for (const TrackInfo& track : layout.tracks) {
        if (track.startLba < 0 || track.startLba >= layout.leadOut ||
            track.pregapLba > track.startLba) {
            std::abort();
        }
        disc.readSector(track.startLba, sector);
        if (track.pregapLba >= 0) {
            disc.readSector(track.pregapLba, sector);
        }
    }
    disc.readSector(layout.leadOut - 1, sector);
}

}  // namespace

// libcue leaks its half-built sheet when a parse fails; that is the library's, not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libcue.so";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path folder = makeFiles();
    if (size > 8192) {
        return 0;
    }
    const std::string sheet(reinterpret_cast<const char*>(data), size);
    if (sheet.find('\0') != std::string::npos) {
        return 0;
    }
    try {
        std::vector<PosixFile> files;
        auto probe = [&files](const std::string& name) {
            const bool wave = !name.empty() && (name.back() & 1);
            files.emplace_back(folder / (wave ? "b.wav" : "a.bin"));
            CueFileInfo info;
            info.wave = wave;
            info.offset = wave ? 44 : 0;
            info.bytes = files.back().size() - info.offset;
            return std::pair<int, CueFileInfo>(static_cast<int>(files.size() - 1), info);
        };
        ImageLayout layout = layoutCueSheet(sheet, probe);
        const ImageLayout kept = layout;
        const ImageDisc disc(std::move(files), std::move(layout));
        checkDisc(disc, kept);
    } catch (const DiscError&) {
    }
    return 0;
}
