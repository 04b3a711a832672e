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
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "cdinfo/cddb_client.h"
#include "cdinfo/disc_view.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/xmcd_submit.h"
#include "platform/job_thread.h"

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

// The category a disc of this genre is submitted under, one of the eleven CDDB categories (blues,
// classical, country, data, folk, jazz, misc, newage, reggae, rock, soundtrack), the only ones
// servers take a submission under: a genre named like a category gives that
// category, the others the category of their kind of music (Classic Rock: rock, Opera: classical,
// Acid Jazz: jazz), and what belongs to none, a number outside the table, and 147 (where a lookup
// puts data, misc and newage discs) give "misc".
std::string_view submitCategoryOfGenre(int genre);

// Said instead of sending an entry with question marks: the server takes no UTF-8 text and
// `line` of the entry cannot be written in ISO-8859-1.
std::string submitLatin1RefusalText(std::string_view line);

// How a lookup ended, for callers that report it themselves (the command-line front end).
enum class LookupOutcome {
    NoDiscIdentity,
    NoMatches,
    ReadFailed,
    EntryUnparsed,
    Success,
    Canceled
};

// The configuration of a lookup's requests: the options the last job left, set from the settings
// in the order the lookup always has. The protocol level asked for is 6 (UTF-8), else 5, else the
// level stays; raising it is checked with the server (an lscat request per level) using the
// options as they stand at that point, before the port, proxy, e-mail and client name of this
// lookup are in.
CddbConfig lookupConfig(const CddbConfig& previous, const FreeDbSettings& settings,
                        const CancelToken& cancel);
// The configuration of a submission: the server port stays as the last lookup left it.
CddbConfig submitConfig(const CddbConfig& previous, const FreeDbSettings& settings);

// The whole lookup. It builds its configuration (publishing it as the options it leaves), tells
// the user through the view's prompter, and writes the disc information and the rows' tags and
// titles into the view only once the entry has been read: a cancel before then leaves the view
// as it was. Thread: a worker thread (it talks to the server).
LookupOutcome runCddbLookup(DiscView& view, const FreeDbSettings& settings,
                            const CancelToken& cancel = neverCancelled());

// How the server is to treat a submission: "Submit-Mode: submit" or "test" (checked, not kept).
enum class SubmitMode { Submit, Test };

// The submit job's work: sends the entry and tells the user whether the server took it. An entry
// that needs UTF-8 raises the protocol level to 6 first when the server takes it, and is not sent,
// with the reason told, when it does not. Thread: a worker thread.
bool runCddbSubmit(DiscView& view, const FreeDbSettings& settings, const SubmitEntry& entry,
                   const CancelToken& cancel = neverCancelled(),
                   SubmitMode mode = SubmitMode::Submit);

// "Query from FreeDB" as a job of the view's owner: it runs runCddbLookup on its worker and posts
// JobStarted and JobFinished (Finished on success, Canceled, else Failed) to the queue; the view
// posts what changed. Destroy it only after its JobFinished (see platform/job_thread.h); it must
// not outlive the view. Thread: the owner, unless said otherwise.
class CddbLookupJob {
  public:
    CddbLookupJob(DiscView& view, JobEventQueue& events);
    CddbLookupJob(const CddbLookupJob&) = delete;
    CddbLookupJob& operator=(const CddbLookupJob&) = delete;

    // Starts a lookup with a copy of the settings (normally freeDbSettings()). False while one
    // runs.
    bool start(const FreeDbSettings& settings);
    // Thread: any.
    void requestStop() { thread_.requestStop(); }
    bool stopRequested() const { return thread_.cancel().stopRequested(); }
    bool running() const { return thread_.running(); }
    JobId id() const { return thread_.id(); }
    // How the last lookup ended; meaningful once it is not running.
    LookupOutcome outcome() const { return outcome_.load(); }

  private:
    DiscView& view_;
    std::atomic<LookupOutcome> outcome_{LookupOutcome::NoDiscIdentity};
    JobThread thread_;  // last: it goes first
};

// "Submit to FreeDB" as a job of the view's owner. Thread: the owner, unless said otherwise.
class CddbSubmitJob {
  public:
    CddbSubmitJob(DiscView& view, JobEventQueue& events);
    CddbSubmitJob(const CddbSubmitJob&) = delete;
    CddbSubmitJob& operator=(const CddbSubmitJob&) = delete;

    // The menu command: counts the attempt, formats the entry, dumps it into
    // dumpFolder/dblog.txt (created when missing), shows the refusal text of an incomplete entry,
    // or starts the worker with a copy of the settings. True when the worker started. The rip
    // view dumps into the current folder.
    bool start(const FreeDbSettings& settings, const std::filesystem::path& dumpFolder,
               SubmitMode mode = SubmitMode::Submit);
    // Thread: any.
    void requestStop() { thread_.requestStop(); }
    bool stopRequested() const { return thread_.cancel().stopRequested(); }
    bool running() const { return thread_.running(); }
    JobId id() const { return thread_.id(); }
    // Whether the server took the last entry; meaningful once it is not running.
    bool submitted() const { return submitted_.load(); }

  private:
    DiscView& view_;
    std::atomic<bool> submitted_{false};
    JobThread thread_;  // last: it goes first
};

}  // namespace tonalda::cddb
