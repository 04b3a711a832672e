#pragma once
// Discs described by CUE sheets (parsed with libcue) over BINARY or WAVE files.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image_disc.h"

namespace tonalda::vdrive {

// What the layout needs to know of one FILE of the sheet.
struct CueFileInfo {
    bool wave = false;    // samples of a WAV file (audio tracks only)
    uint64_t offset = 0;  // where the sectors start
    uint64_t bytes = 0;   // how many bytes of sectors the file holds
};

inline constexpr size_t kMaxCueTracks = 99;

// One TRACK line of a sheet as its own lines show it: where it stands and in which FILE (counted
// from 0 in the order of the FILE lines) its INDEX 00 and INDEX 01 stand, -1 for none.
struct SheetTrack {
    int line = 0;
    int indexFile[2] = {-1, -1};
};

// Reads the sheet's TRACK, FILE, INDEX, PREGAP and POSTGAP lines as libcue does not check them:
// more than 99 TRACK lines, and times that are not MM:SS:FF (digits only, seconds below 60,
// frames below 75), are refused with the line. Throws DiscError.
std::vector<SheetTrack> scanCueSheet(const std::string& sheet);

// Lays the sheet's tracks out on a disc the way a drive presents a burned disc: files follow
// one another, a track starts at its INDEX 01, an INDEX 00 gap stays in the file before it (also
// when the sheet puts that INDEX 00 at the end of the previous FILE), and a PREGAP or POSTGAP adds
// silence no file holds. `probe(name)` returns the file's index in the layout's file
// list and its facts; it throws DiscError when the file is missing or unusable.
// Throws DiscError for a sheet that cannot be a disc.
ImageLayout layoutCueSheet(
    const std::string& sheet,
    const std::function<std::pair<int, CueFileInfo>(const std::string&)>& probe);

std::unique_ptr<Disc> openCueSheet(const std::filesystem::path& path);

}  // namespace tonalda::vdrive
