// tonalda-mkdisc: writes a disc the virtual drive serves as files other programs read: a CUE
// sheet over one BIN file, and one WAV file per audio track holding exactly the frames a rip of
// that track returns (from its start to the next track's start).

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disc.h"
#include "sector.h"
#include "wav_format.h"

namespace {

using namespace tonalda::vdrive;
namespace fs = std::filesystem;

std::string msfText(int32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / (60 * kFramesPerSecond),
                  frames / kFramesPerSecond % 60, frames % kFramesPerSecond);
    return text;
}

void writeOrThrow(std::ofstream& out, const uint8_t* data, size_t size, const fs::path& path) {
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        throw DiscError(path.string() + ": write failed");
    }
}

void finish(std::ofstream& out, const fs::path& path) {
    out.close();
    if (!out) {
        throw DiscError(path.string() + ": write failed");
    }
}

void writeCueAndBin(const Disc& disc, const fs::path& folder, const std::string& name) {
    const fs::path binPath = folder / (name + ".bin");
    const fs::path cuePath = folder / (name + ".cue");
    std::ofstream bin(binPath, std::ios::binary | std::ios::trunc);
    if (!bin) {
        throw DiscError(binPath.string() + ": cannot create");
    }
    uint8_t sector[kFrameBytes];
    for (int32_t lba = 0; lba < disc.leadOut(); ++lba) {
        disc.readSector(lba, sector);
        writeOrThrow(bin, sector, sizeof sector, binPath);
    }
    finish(bin, binPath);

    std::string sheet = "FILE \"" + name + ".bin\" BINARY\n";
    for (const auto& t : disc.tracks()) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d %s\n", t.number,
                      t.kind == SectorKind::Audio   ? "AUDIO"
                      : t.kind == SectorKind::Mode1 ? "MODE1/2352"
                                                    : "MODE2/2352");
        sheet += line;
        if (t.pregapLba >= 0 && t.pregapLba < t.startLba) {
            sheet += "    INDEX 00 " + msfText(t.pregapLba) + "\n";
        }
        sheet += "    INDEX 01 " + msfText(t.startLba) + "\n";
    }
    std::ofstream cue(cuePath, std::ios::binary | std::ios::trunc);
    if (!cue) {
        throw DiscError(cuePath.string() + ": cannot create");
    }
    writeOrThrow(cue, reinterpret_cast<const uint8_t*>(sheet.data()), sheet.size(), cuePath);
    finish(cue, cuePath);
}

void writeTrackWavs(const Disc& disc, const fs::path& folder) {
    const auto& tracks = disc.tracks();
    uint8_t sector[kFrameBytes];
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].isData()) {
            continue;
        }
        const int32_t end = i + 1 < tracks.size() ? tracks[i + 1].startLba : disc.leadOut();
        char name[32];
        std::snprintf(name, sizeof name, "track%02d.wav", tracks[i].number);
        const fs::path path = folder / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw DiscError(path.string() + ": cannot create");
        }
        uint8_t header[44];
        makeWavHeader(static_cast<uint32_t>(end - tracks[i].startLba) * kFrameBytes, header);
        writeOrThrow(out, header, sizeof header, path);
        for (int32_t lba = tracks[i].startLba; lba < end; ++lba) {
            disc.readSector(lba, sector);
            writeOrThrow(out, sector, sizeof sector, path);
        }
        finish(out, path);
    }
}

int usage() {
    std::fprintf(
        stderr,
        "usage: tonalda-mkdisc [--cue-only | --wav-only] SOURCE FOLDER [NAME]\n"
        "  SOURCE: a disc description file, \"gen:...\", a .cue sheet or a folder of WAVs\n"
        "  writes FOLDER/NAME.cue and NAME.bin (NAME defaults to \"disc\") and\n"
        "  FOLDER/trackNN.wav for every audio track\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool cue = true;
    bool wav = true;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cue-only") == 0) {
            wav = false;
        } else if (std::strcmp(argv[i], "--wav-only") == 0) {
            cue = false;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return usage();
        } else {
            arguments.emplace_back(argv[i]);
        }
    }
    if (arguments.size() < 2 || arguments.size() > 3 || (!cue && !wav)) {
        return usage();
    }
    const std::string name = arguments.size() == 3 ? arguments[2] : "disc";
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        std::fprintf(stderr, "tonalda-mkdisc: \"%s\" is not a file name\n", name.c_str());
        return 2;
    }
    try {
        const auto disc = openDisc(arguments[0]);
        std::error_code ec;
        fs::create_directories(arguments[1], ec);
        if (ec) {
            throw DiscError(arguments[1] + ": cannot create the folder (" + ec.message() + ")");
        }
        if (cue) {
            writeCueAndBin(*disc, arguments[1], name);
        }
        if (wav) {
            writeTrackWavs(*disc, arguments[1]);
        }
    } catch (const DiscError& error) {
        std::fprintf(stderr, "tonalda-mkdisc: %s\n", error.what());
        return 1;
    }
    return 0;
}
