#pragma once
// What the encoders need beyond an open C stream (platform/file.h).

#include <cstdio>

#include "platform/file.h"

namespace tonalda {

// Closes the file now; false when the last buffered bytes could not be written.
inline bool closeChecked(UniqueFile& file) {
    return !file || std::fclose(file.release()) == 0;
}

// The size of an open file in bytes, or -1.
long long openFileSize(std::FILE* file);

}  // namespace tonalda
