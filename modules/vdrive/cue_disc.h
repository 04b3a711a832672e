#pragma once
// Discs described by CUE sheets (parsed with libcue) over BINARY or WAVE files.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "image_disc.h"

namespace tonalda::vdrive {

// What the layout needs to know of one FILE of the sheet.
struct CueFileInfo {
    bool wave = false;    // samples of a WAV file (audio tracks only)
    uint64_t offset = 0;  // where the sectors start
    uint64_t bytes = 0;   // how many bytes of sectors the file holds
};

// Lays the sheet's tracks out on a disc the way a drive presents a burned disc: files follow
// one another, a track starts at its INDEX 01, an INDEX 00 gap stays in the file before it, and a
// PREGAP adds silence no file holds. `probe(name)` returns the file's index in the layout's file
// list and its facts; it throws DiscError when the file is missing or unusable.
// Throws DiscError for a sheet that cannot be a disc.
ImageLayout layoutCueSheet(
    const std::string& sheet,
    const std::function<std::pair<int, CueFileInfo>(const std::string&)>& probe);

std::unique_ptr<Disc> openCueSheet(const std::filesystem::path& path);

}  // namespace tonalda::vdrive
