#pragma once
// Names of ripped files: the base name composed from a track's tag by the file-name rule, and the
// output folder composed from the disc's artist and album title by the sub-folder rule.
//
// Text from CDDB and tags never takes a file out of the rip folder: in every name made from it
// "/" and NUL become "_", a name made only of dots has its dots replaced, and a name longer than
// the file system allows is shortened.

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

// One file or folder name that stays where it is put.
std::string safeNameComponent(std::string_view name);

// The base name by the file-name rule: from the version 1 fields when isV1 is set, else from the
// version 2 fields when isV2 is set; with neither flag, or rule 0 or a rule outside 1..7, the
// current base name is kept.
// Thread: any.
std::string composeBaseName(std::string_view currentBaseName, const TagInfo& tag,
                            std::int32_t fileNameRule);

struct OutputFolder {
    std::filesystem::path folder;  // where the files go; valid only when error is empty
    std::string error;             // what could not be made, and why
    bool ok() const { return error.empty(); }
};

// Makes the folder of a rip's output files one level at a time: the rip folder, then what the
// sub-folder rule asks for (an existing folder is not an error). A sub-folder rule outside 0..4
// creates nothing and gives the rip folder. A folder that cannot be made, or a name that exists
// but is not a folder, is reported in the result's error and no folder is given.
// Thread: the rip job's worker.
OutputFolder prepareOutputFolder(const std::filesystem::path& ripFolder, std::string_view artist,
                                 std::string_view album, std::int32_t subFolderRule);

// The output file: folder / base name + extension, the name made safe.
std::filesystem::path outputFilePath(const std::filesystem::path& folder, std::string_view baseName,
                                     std::string_view extension);

}  // namespace tonalda
