#pragma once
// The CDDB lookup and submit jobs of the rip view's "CDDB" menu. The lookup finds the disc on the
// server chosen in the FreeDB settings, reads its entry and fills the disc information and the
// track rows; the submit command formats the disc's entry, checks it and sends it.
//
// The server host normally comes from the server list; the environment variable
// TONALDA_CDDB_HOST, when set and not empty, replaces it for every list position (the port still
// comes from the FreeDB settings). Tests use it to reach a server on loopback. Through a proxy
// the host goes into the request's URL, so "127.0.0.1:8880" there names a port as well.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "cdinfo/disc_view.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/xmcd_submit.h"

namespace tonalda::cddb {

// The servers of the FreeDB settings' "Server" list, in the order the settings page shows them.
inline constexpr std::array<std::string_view, 8> kCddbServers = {
    "gnudb.gnudb.org", "gnudb.org",     "at.freedb.org", "ca.freedb.org",
    "de.freedb.org",   "es.freedb.org", "fi.freedb.org", "uk.freedb.org"};

inline constexpr std::string_view kNoMatches = "No matches in CDDB database...";
inline constexpr std::string_view kReadFailed = "Error retrieving CDDB info...";
inline constexpr std::string_view kQuerySuccess = "CDDB Query Success.";
inline constexpr std::string_view kEntrySubmitted = "Entry submitted";
inline constexpr std::string_view kSubmitFailed = "Error submitting entry";
inline constexpr std::string_view kSubmitDumpName = "dblog.txt";

// The host at a list position ("" outside 0..7), or the TONALDA_CDDB_HOST override.
std::string cddbServerHost(int index);

// The genre of a CDDB category: the first lower-cased table name among the first 147 that equals
// it, else 147.
int genreIndexOfCategory(std::string_view category);

// How a lookup ended, for callers that report it themselves (the command-line front end).
enum class LookupOutcome { NoDiscIdentity, NoMatches, ReadFailed, EntryUnparsed, Success };

// The whole lookup job. It tells the user through the view's prompter and updates discInfo()
// and the view's rows. Thread: a worker thread (it talks to the server and waits for the view).
LookupOutcome runCddbLookup(DiscView& view, const FreeDbSettings& settings);
// Starts the lookup on a worker thread with a copy of the settings (normally freeDbSettings());
// the view keeps the thread and joins it before it goes.
std::jthread startCddbLookup(DiscView& view, const FreeDbSettings& settings);

// The submit job: sends the entry and tells the user whether the server took it.
// Thread: a worker thread.
bool runCddbSubmit(DiscView& view, const FreeDbSettings& settings, const SubmitEntry& entry);

// The menu command "Submit to FreeDB" (user interface thread): counts the attempt, formats the
// entry, dumps it into dumpFolder/dblog.txt (created when missing), shows the refusal text of an
// incomplete entry, or starts the submit job with a copy of the settings (normally
// freeDbSettings()) and returns its thread. The rip view dumps into the current folder.
std::optional<std::jthread> submitToCddb(DiscView& view, const FreeDbSettings& settings,
                                         const std::filesystem::path& dumpFolder);

}  // namespace tonalda::cddb
