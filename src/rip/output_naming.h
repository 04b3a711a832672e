#pragma once
// Names of ripped files: the base name composed from a track's tag by the file-name rule, and the
// output folder composed from the disc's artist and album title by the sub-folder rule.
//
// Text from CDDB and tags never takes a file out of the rip folder and never makes a name that
// is hard to handle: in every name made from it "/", NUL and the control characters become "_",
// a name made only of dots has its dots replaced, a leading "-" becomes "_", and a name is cut,
// on a character boundary, short enough that the suffixes a job appends still fit.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "codecs/tag_info.h"

namespace tonalda {

// File-name rules, "filename" of the Output group.
inline constexpr std::string_view kFileNameRuleLabels[] = {
    "Do not rename",        "<Title>",
    "<Artist-Title>",       "<Title-Artist>",
    "<Artist-Album-Title>", "<Album-Title-Artist>",
    "<Title-Artist-Album>", "<Title-Album-Artist>"};

// Sub-folder rules, "Subfloder" of the Output group.
inline constexpr std::string_view kSubFolderRuleLabels[] = {"No Sub-Floder", "<Artist>", "<Album>",
                                                            "<Artist-Album>", "<Artist>\\<Album>"};

// Bytes a job may append to a composed name: the output extension (".mp3", ".tmp") and a mark
// for a file still being written. Composed names leave that much of the file system's 255.
inline constexpr std::size_t kNameSuffixRoomBytes = 16;
inline constexpr std::size_t kMaxComposedNameBytes = 255 - kNameSuffixRoomBytes;

// One file or folder name that stays where it is put, at most kMaxComposedNameBytes long.
// Thread: any.
std::string safeNameComponent(std::string_view name);

// The base name by the file-name rule: from the version 1 fields when isV1 is set, else from the
// version 2 fields when isV2 is set; with neither flag, or rule 0 or a rule outside 1..7, the
// current base name is kept. A blank field is left out with its hyphen; when every field the
// rule uses is blank the current base name is kept, so no file is named by its extension alone.
// Thread: any.
std::string composeBaseName(std::string_view currentBaseName, const TagInfo& tag,
                            std::int32_t fileNameRule);

struct OutputFolder {
    std::filesystem::path folder;  // where the files go; valid only when error is empty
    std::string error;             // what could not be made, and why
    bool ok() const { return error.empty(); }
};

// Makes the folder of a rip's output files one level at a time: the rip folder, then what the
// sub-folder rule asks for (an existing folder is not an error). A blank artist or album adds no
// level, and leaves no hyphen in the "<Artist-Album>" folder. A sub-folder rule outside 0..4
// creates nothing and gives the rip folder. A folder that cannot be made, or a name that exists
// but is not a folder, is reported in the result's error and no folder is given.
// Thread: the rip job's worker.
OutputFolder prepareOutputFolder(const std::filesystem::path& ripFolder, std::string_view artist,
                                 std::string_view album, std::int32_t subFolderRule);

// The output file: folder / base name + extension, the name made safe and the base name cut so
// that the whole name, and kNameSuffixRoomBytes past the base name, fit the file system.
// Thread: any.
std::filesystem::path outputFilePath(const std::filesystem::path& folder, std::string_view baseName,
                                     std::string_view extension);

}  // namespace tonalda
