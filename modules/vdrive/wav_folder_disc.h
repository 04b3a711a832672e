#pragma once
// A folder of WAV files as an audio disc: one track per file, in the order of the file names.

#include <filesystem>
#include <memory>

#include "disc.h"

namespace tonalda::vdrive {

std::unique_ptr<Disc> openWavFolder(const std::filesystem::path& folder);

}  // namespace tonalda::vdrive
