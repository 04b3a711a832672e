#pragma once
// Where jobs keep their temporary files.

#include <filesystem>

namespace tonalda {

// The temporary folder of a job: the configured one ("Temppath"), or the system's when it is
// empty. Thread: any.
std::filesystem::path jobTempFolder(const std::filesystem::path& configured);

}  // namespace tonalda
