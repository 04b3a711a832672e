#include "cue_disc.h"

#include <libcue.h>

#include <mutex>
#include <sstream>

#include "sector.h"
#include "wav_format.h"

namespace tonalda::vdrive {

namespace {

// libcue's parser keeps global state.
std::mutex cueParserMutex;

struct CdDeleter {
    void operator()(Cd* cd) const { cd_delete(cd); }
};

struct ModeFacts {
    SectorKind kind;
    int sectorBytes;
};

ModeFacts modeFacts(enum TrackMode mode, int number) {
    switch (mode) {
        case MODE_AUDIO:
            return {SectorKind::Audio, kFrameBytes};
        case MODE_MODE1:
            return {SectorKind::Mode1, kCookedBytes};
        case MODE_MODE1_RAW:
            return {SectorKind::Mode1, kFrameBytes};
        case MODE_MODE2:
            return {SectorKind::Mode2, 2336};
        case MODE_MODE2_RAW:
            return {SectorKind::Mode2, kFrameBytes};
        default:
            throw DiscError("track " + std::to_string(number) +
                            ": unsupported track mode (AUDIO, MODE1/2048, MODE1/2352, MODE2/2336 "
                            "and MODE2/2352 are served)");
    }
}

struct CueTrack {
    int fileIndex = 0;
    CueFileInfo file;
    long index0 = -1;
    long index1 = 0;
    long silence = 0;  // PREGAP frames that no file holds
    ModeFacts mode{};
    uint8_t control = 0;
};

}  // namespace

ImageLayout layoutCueSheet(
    const std::string& sheet,
    const std::function<std::pair<int, CueFileInfo>(const std::string&)>& probe) {
    std::vector<CueTrack> cueTracks;
    {
        std::lock_guard lock(cueParserMutex);
        std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(sheet.c_str()));
        if (!cd) {
            throw DiscError("the CUE sheet cannot be parsed");
        }
        const int count = cd_get_ntrack(cd.get());
        if (count < 1 || count > 99) {
            throw DiscError("the CUE sheet has " + std::to_string(count) +
                            " tracks (1 to 99 are possible)");
        }
        std::string previousName;
        for (int i = 1; i <= count; ++i) {
            Track* track = cd_get_track(cd.get(), i);
            const char* name = track ? track_get_filename(track) : nullptr;
            if (!name || !*name) {
                throw DiscError("track " + std::to_string(i) + " has no FILE");
            }
            CueTrack t;
            t.mode = modeFacts(track_get_mode(track), i);
            t.index1 = track_get_index(track, 1);
            t.index0 = track_get_index(track, 0);
            const long pre = track_get_zero_pre(track);
            t.silence = (t.index0 < 0 && pre > 0) ? pre : 0;
            if (t.index1 < 0) {
                throw DiscError("track " + std::to_string(i) + " has no INDEX 01");
            }
            if (t.index0 > t.index1 || t.silence > kMaxDiscFrames || t.index1 > kMaxDiscFrames) {
                throw DiscError("track " + std::to_string(i) + " has impossible times");
            }
            if (t.mode.kind != SectorKind::Audio) {
                t.control |= 0x04;
            }
            if (track_is_set_flag(track, FLAG_COPY_PERMITTED)) {
                t.control |= 0x02;
            }
            if (track_is_set_flag(track, FLAG_PRE_EMPHASIS)) {
                t.control |= 0x01;
            }
            // Consecutive tracks naming the same file share it, as the sheet's FILE lines do.
            if (i == 1 || previousName != name) {
                std::tie(t.fileIndex, t.file) = probe(name);
            } else {
                t.fileIndex = cueTracks.back().fileIndex;
                t.file = cueTracks.back().file;
            }
            if (t.file.wave && t.mode.kind != SectorKind::Audio) {
                throw DiscError("track " + std::to_string(i) + ": a WAVE file holds audio only");
            }
            previousName = name;
            cueTracks.push_back(t);
        }
    }

    ImageLayout layout;
    int64_t lba = 0;
    size_t i = 0;
    while (i < cueTracks.size()) {
        // One FILE: its sectors in runs from one track's first index to the next one's.
        const size_t first = i;
        size_t end = i;
        while (end < cueTracks.size() && cueTracks[end].fileIndex == cueTracks[first].fileIndex) {
            ++end;
        }
        const CueFileInfo& file = cueTracks[first].file;
        const uint64_t fileEnd = file.offset + file.bytes;
        uint64_t byte = file.offset;
        long cursor = 0;  // frames into the file
        for (size_t k = first; k < end; ++k) {
            const CueTrack& t = cueTracks[k];
            const long firstIndex = t.index0 >= 0 ? t.index0 : t.index1;
            const int number = static_cast<int>(k + 1);
            if (firstIndex < cursor || (k > first && t.index1 <= cueTracks[k - 1].index1)) {
                throw DiscError("track " + std::to_string(number) +
                                " starts before the track it follows");
            }
            // The run before this track's first index belongs to the track before (or, at the
            // start of a file, to this track's own pregap).
            const ModeFacts& runMode = k > first ? cueTracks[k - 1].mode : t.mode;
            if (firstIndex > cursor) {
                layout.segments.push_back({static_cast<int32_t>(lba),
                                           static_cast<int32_t>(firstIndex - cursor), t.fileIndex,
                                           byte, fileEnd, runMode.sectorBytes, runMode.kind});
                byte += static_cast<uint64_t>(firstIndex - cursor) * runMode.sectorBytes;
                lba += firstIndex - cursor;
                cursor = firstIndex;
            }
            if (byte + static_cast<uint64_t>(t.index1 - cursor) * t.mode.sectorBytes >= fileEnd) {
                throw DiscError("track " + std::to_string(number) +
                                " starts beyond the end of its file");
            }
            int32_t pregapLba = t.index0 >= 0 ? static_cast<int32_t>(lba) : -1;
            if (t.silence > 0) {
                pregapLba = static_cast<int32_t>(lba);
                layout.segments.push_back({static_cast<int32_t>(lba),
                                           static_cast<int32_t>(t.silence), -1, 0, 0, kFrameBytes,
                                           t.mode.kind});
                lba += t.silence;
            }
            layout.tracks.push_back({number, static_cast<int32_t>(lba + (t.index1 - cursor)),
                                     pregapLba, t.mode.kind, t.control});
            if (lba > kMaxDiscFrames) {
                throw DiscError("the disc is longer than 99 minutes");
            }
        }
        // The last track's run reaches to the end of the file; a partial sector reads as padded.
        const ModeFacts& lastMode = cueTracks[end - 1].mode;
        const uint64_t frames = (fileEnd - byte + lastMode.sectorBytes - 1) / lastMode.sectorBytes;
        if (frames > static_cast<uint64_t>(kMaxDiscFrames)) {
            throw DiscError("the disc is longer than 99 minutes");
        }
        layout.segments.push_back({static_cast<int32_t>(lba), static_cast<int32_t>(frames),
                                   cueTracks[first].fileIndex, byte, fileEnd, lastMode.sectorBytes,
                                   lastMode.kind});
        lba += static_cast<int64_t>(frames);
        if (lba > kMaxDiscFrames) {
            throw DiscError("the disc is longer than 99 minutes");
        }
        i = end;
    }
    layout.leadOut = static_cast<int32_t>(lba);
    return layout;
}

std::unique_ptr<Disc> openCueSheet(const std::filesystem::path& path) {
    const std::string sheet = PosixFile::readWhole(path, 1 << 20);
    if (sheet.find('\0') != std::string::npos) {
        throw DiscError(path.string() + ": not a CUE sheet");
    }
    std::vector<PosixFile> files;
    const auto folder = path.parent_path();
    auto probe = [&files, &folder](const std::string& name) {
        std::filesystem::path file(name);
        if (file.is_relative()) {
            file = folder / file;
        }
        files.emplace_back(file);
        const PosixFile& opened = files.back();
        CueFileInfo info;
        uint8_t magic[4] = {};
        if (opened.readAt(0, magic, 4) == 4 && std::memcmp(magic, "RIFF", 4) == 0) {
            const WavData data = locateWavData(
                [&opened](uint64_t offset, uint8_t* buffer, size_t size) {
                    return opened.readAt(offset, buffer, size);
                },
                opened.size(), file.string());
            info = {true, data.offset, data.bytes};
        } else {
            info = {false, 0, opened.size()};
        }
        if (info.bytes == 0) {
            throw DiscError(file.string() + ": the file holds no sectors");
        }
        return std::pair<int, CueFileInfo>(static_cast<int>(files.size() - 1), info);
    };
    try {
        ImageLayout layout = layoutCueSheet(sheet, probe);
        return std::make_unique<ImageDisc>(std::move(files), std::move(layout));
    } catch (const DiscError& error) {
        throw DiscError(path.string() + ": " + error.what());
    }
}

}  // namespace tonalda::vdrive
