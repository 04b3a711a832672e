#pragma once
// The local CD library: one INI file per disc, named after its player key, in the library folder
// (the Misc setting CDDBpath), holding the disc information and every row's tag. And the disc's
// entry in "cdplayer.ini" in the program's config folder.
//
// All four operations work on the disc in the view's drive and use the first and last track
// numbers of the table of contents the view kept from its last reading (none read counts as
// tracks 0 to 0). Values for rows the track list does not have are left out.
// Thread: the user interface thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "cdinfo/disc_view.h"

namespace tonalda {

inline constexpr std::string_view kLibraryExtension = ".cdb";
inline constexpr std::string_view kCdPlayerIni = "cdplayer.ini";

// folder/<player key in upper-case hexadecimal>.cdb
std::filesystem::path libraryFilePath(const std::filesystem::path& folder, std::uint32_t playerKey);

// Writes discInfo() and the rows' tags into the disc's file, but only when the file already
// exists (a read of the library creates it). False when nothing was written.
bool saveLocalLibrary(DiscView& view, const std::filesystem::path& folder);
// Reads the disc's file into discInfo() and the rows, or creates it empty when it is missing
// (and then changes nothing). False when the file did not exist; then `notCreated` (when given)
// says why the file could not be created (a missing folder, say), or is left empty.
bool readLocalLibrary(DiscView& view, const std::filesystem::path& folder,
                      std::string* notCreated = nullptr);

// The disc's section of "cdplayer.ini" (iniFile; the default lives in the config folder).
bool writeCdPlayerIni(DiscView& view, const std::filesystem::path& iniFile = kCdPlayerIni);
void readCdPlayerIni(DiscView& view, const std::filesystem::path& iniFile = kCdPlayerIni);

// The genre of a "cdplayer.ini" genre text: the lower-cased table names are compared from the
// last to the first, so only lower-case text can match; -1 when none does.
int genreIndexOfCdPlayerGenre(std::string_view genre);

}  // namespace tonalda
