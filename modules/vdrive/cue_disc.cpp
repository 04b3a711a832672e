#include "cue_disc.h"

#include <libcue.h>

#include <algorithm>
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
    long silence = 0;      // PREGAP frames that no file holds
    long postSilence = 0;  // POSTGAP frames that no file holds
    // INDEX 00 stands in the FILE before the one of INDEX 01: the gap is that file's tail.
    bool gapInPreviousFile = false;
    ModeFacts mode{};
    uint8_t control = 0;
};

bool isTime(const std::string& text) {
    int fields[3] = {};
    int field = 0;
    int digits = 0;
    for (const char c : text) {
        if (c == ':' && digits > 0 && field < 2) {
            ++field;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            fields[field] = fields[field] * 10 + (c - '0');
            ++digits;
        } else {
            return false;
        }
    }
    return field == 2 && digits > 0 && fields[1] < 60 && fields[2] < 75;
}

std::string upper(std::string word) {
    for (char& c : word) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return word;
}

}  // namespace

std::vector<SheetTrack> scanCueSheet(const std::string& sheet) {
    std::vector<SheetTrack> tracks;
    std::istringstream lines(sheet);
    int lineNumber = 0;
    int file = -1;
    for (std::string line; std::getline(lines, line);) {
        ++lineNumber;
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        keyword = upper(keyword);
        const auto fail = [&](const std::string& what) {
            throw DiscError("line " + std::to_string(lineNumber) + ": " + what);
        };
        if (keyword == "FILE") {
            ++file;
        } else if (keyword == "TRACK") {
            if (tracks.size() == kMaxCueTracks) {
                fail("a track after the 99th (1 to 99 are possible)");
            }
            tracks.push_back({lineNumber, {-1, -1}});
        } else if (keyword == "INDEX" || keyword == "PREGAP" || keyword == "POSTGAP") {
            std::string number;
            if (keyword == "INDEX") {
                words >> number;
            }
            std::string time;
            words >> time;
            if (!isTime(time)) {
                fail(keyword + (number.empty() ? "" : " " + number) + " has the time \"" + time +
                     "\"; times are MM:SS:FF with seconds below 60 and frames below 75");
            }
            if (keyword == "INDEX" && !tracks.empty() &&
                (number == "00" || number == "01" || number == "0" || number == "1")) {
                tracks.back().indexFile[number.back() - '0'] = file;
            }
        }
    }
    return tracks;
}

ImageLayout layoutCueSheet(
    const std::string& sheet,
    const std::function<std::pair<int, CueFileInfo>(const std::string&)>& probe) {
    // What libcue reads loosely (a 100th track dropped, a signed or overlong time read as
    // another) is checked on the sheet's own lines first.
    const std::vector<SheetTrack> sheetTracks = scanCueSheet(sheet);
    std::vector<CueTrack> cueTracks;
    {
        std::lock_guard lock(cueParserMutex);
        std::unique_ptr<Cd, CdDeleter> cd(cue_parse_string(sheet.c_str()));
        if (!cd) {
            throw DiscError("the CUE sheet cannot be parsed");
        }
        const int count = cd_get_ntrack(cd.get());
        if (count < 1 || count > static_cast<int>(kMaxCueTracks)) {
            throw DiscError("the CUE sheet has " + std::to_string(count) +
                            " tracks (1 to 99 are possible)");
        }
        if (static_cast<size_t>(count) != sheetTracks.size()) {
            throw DiscError("the CUE sheet has " + std::to_string(sheetTracks.size()) +
                            " TRACK lines, of which " + std::to_string(count) + " can be read");
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
            t.postSilence = std::max(track_get_zero_post(track), 0L);
            if (t.index1 < 0) {
                throw DiscError("track " + std::to_string(i) + " has no INDEX 01");
            }
            const SheetTrack& lines = sheetTracks[static_cast<size_t>(i - 1)];
            t.gapInPreviousFile = t.index0 >= 0 && i > 1 && lines.indexFile[0] >= 0 &&
                                  lines.indexFile[0] < lines.indexFile[1];
            if ((!t.gapInPreviousFile && t.index0 > t.index1) || t.silence > kMaxDiscFrames ||
                t.postSilence > kMaxDiscFrames || t.index0 > kMaxDiscFrames ||
                t.index1 > kMaxDiscFrames) {
                throw DiscError("track " + std::to_string(i) + " (line " +
                                std::to_string(lines.line) + ") has impossible times");
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
    int32_t gapLba = -1;  // where the next file's first track has its INDEX 00, in this file's tail
    const auto addSilence = [&layout, &lba](long frames, SectorKind kind) {
        if (frames > 0) {
            layout.segments.push_back({static_cast<int32_t>(lba), static_cast<int32_t>(frames), -1,
                                       0, 0, kFrameBytes, kind});
            lba += frames;
        }
    };
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
            const bool gapBefore = k == first && t.gapInPreviousFile;
            const long firstIndex = t.index0 >= 0 && !gapBefore ? t.index0 : t.index1;
            const int number = static_cast<int>(k + 1);
            if (firstIndex < cursor || (k > first && t.index1 <= cueTracks[k - 1].index1) ||
                (k > first && t.gapInPreviousFile)) {
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
            if (k > first) {
                addSilence(cueTracks[k - 1].postSilence, cueTracks[k - 1].mode.kind);
            }
            if (byte + static_cast<uint64_t>(t.index1 - cursor) * t.mode.sectorBytes >= fileEnd) {
                throw DiscError("track " + std::to_string(number) +
                                " starts beyond the end of its file");
            }
            int32_t pregapLba = gapBefore ? gapLba : t.index0 >= 0 ? static_cast<int32_t>(lba) : -1;
            if (t.silence > 0) {
                pregapLba = static_cast<int32_t>(lba);
                addSilence(t.silence, t.mode.kind);
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
        // A next track whose INDEX 00 stands in this file: its gap is the tail of this file,
        // after the last track's INDEX 01.
        if (end < cueTracks.size() && cueTracks[end].gapInPreviousFile) {
            const CueTrack& next = cueTracks[end];
            const long fileFrames = cursor + static_cast<long>(frames);
            if (next.index0 <= cueTracks[end - 1].index1 || next.index0 >= fileFrames) {
                throw DiscError("track " + std::to_string(end + 1) +
                                " has its INDEX 00 outside the tail of the file before");
            }
            gapLba = static_cast<int32_t>(lba - (fileFrames - next.index0));
        }
        addSilence(cueTracks[end - 1].postSilence, lastMode.kind);
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
