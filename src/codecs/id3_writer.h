#pragma once
// Writes a TagInfo into an MP3 file as ID3 tags through id3lib.

#include <filesystem>

#include "codecs/tag_info.h"

namespace tonalda {

// Strips every ID3 tag from the file and writes an ID3v1 tag from the version 1 fields when
// isV1 is set, then an ID3v2 tag from the version 2 fields when isV2 is set. When only isV1 is set
// and a version 1 field holds text that ISO-8859-1 cannot hold, an ID3v2 tag of the version 1
// fields (title, artist, comment, album, track, year, genre) follows it. With neither flag the
// file is not touched and the result is true. Returns false when a tag could not be written (the
// file is missing or cannot be written); callers of the rip and convert jobs may ignore it.
// Version 1 text is stored as ISO-8859-1; a version 2 frame whose text does not fit ISO-8859-1 is
// stored as UTF-16.
// Thread: any; one call per file at a time.
bool writeId3Tag(const TagInfo& tag, const std::filesystem::path& mp3File);

}  // namespace tonalda
