// Fuzzes what the virtual drive reads from outside: the drive list, generated-disc descriptions,
// CUE sheets (through libcue and our layout) and WAV headers. The first byte picks the parser.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cue_disc.h"
#include "drive_config.h"
#include "generated_disc.h"
#include "sector.h"
#include "wav_format.h"

using namespace tonalda::vdrive;

namespace {

void checkLayout(const ImageLayout& layout) {
    // Runs follow one another without gaps and end at the lead-out; tracks lie inside.
    int64_t next = 0;
    for (const auto& s : layout.segments) {
        if (s.startLba != next || s.frames < 0) {
            std::abort();
        }
        next += s.frames;
    }
    if (next != layout.leadOut || layout.leadOut > kMaxDiscFrames) {
        std::abort();
    }
    for (const auto& t : layout.tracks) {
        if (t.startLba < 0 || t.startLba > layout.leadOut) {
            std::abort();
        }
    }
}

}  // namespace

// libcue leaks its half-built sheet when a parse fails; that is the library's, not ours, and
// only happens once per sheet a drive loads. Leaks anywhere else still count.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libcue.so";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0: {
            const DriveList list = parseDriveList(text);
            if (list.drives.size() > kMaxDrives) {
                std::abort();
            }
            break;
        }
        case 1:
            try {
                GeneratedDisc disc(parseDiscDescription(text, "fuzz"));
                uint8_t sector[kFrameBytes];
                disc.readSector(0, sector);
                disc.readSector(disc.leadOut() - 1, sector);
                disc.readSector(disc.leadOut() / 2, sector);
            } catch (const DiscError&) {
            }
            break;
        case 2:
            if (text.find('\0') != std::string::npos) {
                break;
            }
            try {
                // Every FILE is taken to exist: a BIN of a size drawn from its name.
                int files = 0;
                auto probe = [&files](const std::string& name) {
                    CueFileInfo info;
                    info.wave = !name.empty() && (name.back() & 1);
                    info.offset = info.wave ? 44 : 0;
                    info.bytes = (name.size() * 7919u % 5000u) * 2352u + name.size();
                    if (info.bytes == 0) {
                        throw DiscError("empty");
                    }
                    return std::pair<int, CueFileInfo>(files++, info);
                };
                checkLayout(layoutCueSheet(text, probe));
            } catch (const DiscError&) {
            }
            break;
        case 3:
            try {
                const uint64_t fileSize = size - 1;
                const WavData found = locateWavData(
                    [&](uint64_t offset, uint8_t* buffer, size_t wanted) -> size_t {
                        if (offset >= fileSize) {
                            return 0;
                        }
                        const size_t got = std::min<uint64_t>(wanted, fileSize - offset);
                        std::memcpy(buffer, data + 1 + offset, got);
                        return got;
                    },
                    fileSize, "fuzz.wav");
                if (found.offset + found.bytes > fileSize) {
                    std::abort();
                }
            } catch (const DiscError&) {
            }
            break;
    }
    return 0;
}
