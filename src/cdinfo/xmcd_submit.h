#pragma once
// The xmcd entry that the program submits for the disc in the rip view, with the checks that
// refuse an incomplete one.

#include <cstddef>
#include <cstdint>
#include <string>

#include "cdinfo/disc_info.h"
#include "cdinfo/disc_view.h"

namespace tonalda::cddb {

inline constexpr int kSubmitComplete = -1;
inline constexpr int kSubmitNoDiscTitle = -2;    // artist and album both empty
inline constexpr int kSubmitUntitledTrack = -3;  // a track still has its default title
inline constexpr int kSubmitNotRead = -4;        // no table of contents has been read

inline constexpr std::string_view kRefusalNoDiscTitle =
    "This CD could not be submitted because: Artist name and album title not filled in.";
inline constexpr std::string_view kRefusalUntitledTrack =
    "This CD could not be submitted because: You must enter all track titles.";
inline constexpr std::string_view kRefusalNotRead =
    "This CD could not be submitted because: The CD has not been read yet.";

// The refusal text of a result, empty for a complete entry.
std::string_view submitRefusalText(int result);

struct SubmitEntry {
    std::uint32_t discId = 0;
    std::string text;  // UTF-8; as far as it was built when the entry was refused

    // The dump of "dblog.txt": the disc ID as a 32-bit little-endian number, the text, and zero
    // fill to 65,536 bytes.
    std::string dump() const;
};

inline constexpr std::size_t kSubmitDumpSize = 65536;

// Builds the entry from the view's last table of contents, the disc information and the titles
// the view shows. Protocol levels 5 and above add the DYEAR and DGENRE lines.
// Thread: the user interface thread (it asks the view for its titles).
int formatSubmitEntry(DiscView& view, const DiscInfo& info, int protocolLevel, SubmitEntry& out);

}  // namespace tonalda::cddb
