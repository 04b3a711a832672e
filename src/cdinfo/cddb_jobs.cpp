#include "cdinfo/cddb_jobs.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_text.h"
#include "cdinfo/debug_trace.h"
#include "cdinfo/xmcd_entry.h"
#include "codecs/genres.h"
#include "platform/atomic_file.h"
#include "platform/prompter.h"
#include "platform/text_codec.h"

namespace tonalda::cddb {
namespace {

// The levels a lookup asks for, best first: 6 speaks UTF-8, 5 adds the year and genre lines.
constexpr int kLookupProtocolLevels[] = {kUtf8ProtocolLevel, 5};
constexpr std::size_t kDiscTitleLimit = 80;
constexpr std::size_t kTrackTitleLimit = 80;
constexpr std::string_view kSubmitClientText = "aaa";

std::string clientText() {
    return "Marrowby v1.01";
}

void applyProxyOptions(CddbConfig& config, const FreeDbSettings& settings) {
    applyCddbOption(config, kOptProxyHost, settings.proxyserver, 0);
    applyCddbOption(config, kOptProxyPort, std::nullopt, settings.pport);
    applyCddbOption(config, kOptProxyAuth, settings.username + ":" + settings.pass, 0);
}

// With several matches the first exact one is read, else the first.
const CddbMatch& chooseMatch(const std::vector<CddbMatch>& matches) {
    for (const auto& match : matches)
        if (match.exact)
            return match;
    return matches.front();
}

// Raises the configuration to `level` when the server takes it: at once when the level was
// verified before, else after the server accepted it in an lscat request. True when raised.
bool raiseProtocolLevel(CddbConfig& config, int level, const CancelToken& cancel) {
    if (level > config.highestVerifiedLevel) {
        if (cddbListCategories(config, level, cancel) != 1)
            return false;
        config.highestVerifiedLevel = level;
    }
    config.protocolLevel = level;
    return true;
}

// The first line of the entry that ISO-8859-1 cannot hold.
std::string_view firstLineBeyondLatin1(std::string_view entry) {
    while (!entry.empty()) {
        const auto end = entry.find("\r\n");
        const std::string_view line = entry.substr(0, end);
        if (!text::fitsLatin1(line))
            return line;
        if (end == std::string_view::npos)
            break;
        entry.remove_prefix(end + 2);
    }
    return {};
}

// Genres of a kind of music that has its own category, by their table names; every other genre
// is "misc".
constexpr std::string_view kBluesGenres[] = {"Blues"};
constexpr std::string_view kClassicalGenres[] = {"Classical",     "Chorus", "Opera",
                                                 "Chamber Music", "Sonata", "Symphony"};
constexpr std::string_view kCountryGenres[] = {"Country", "Bluegrass"};
constexpr std::string_view kFolkGenres[] = {"Folk",     "National Folk", "Celtic",
                                            "Folklore", "Ethnic",        "Native American"};
constexpr std::string_view kJazzGenres[] = {"Jazz",  "Jazz+Funk",   "Fusion", "Acid Jazz",
                                            "Swing", "Fast Fusion", "Bebob",  "Big Band"};
constexpr std::string_view kNewageGenres[] = {"New Age", "Ambient", "Space", "Meditative", "Dream"};
constexpr std::string_view kReggaeGenres[] = {"Reggae", "Ska", "Dance Hall"};
// clang-format off
constexpr std::string_view kRockGenres[] = {
    "Classic Rock", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Metal", "Oldies", "Pop", "R&B",
    "Rap", "Rock", "Techno", "Industrial", "Alternative", "Death Metal", "Euro-Techno", "Trip-Hop",
    "Trance", "Acid", "House", "AlternRock", "Bass", "Soul", "Punk", "Instrumental Pop",
    "Instrumental Rock", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Southern Rock", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "New Wave", "Psychadelic", "Rave", "Lo-Fi", "Acid Punk", "Retro", "Rock & Roll", "Hard Rock",
    "Folk-Rock", "Revival", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
    "Slow Rock", "Booty Bass", "Primus", "Porn Groove", "Slow Jam", "Club", "Power Ballad",
    "Rhythmic Soul", "Freestyle", "Punk Rock", "Drum Solo", "Euro-House", "Goa", "Drum & Bass",
    "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Christian Rock",
    "Thrash Metal", "JPop"};
// clang-format on
constexpr std::string_view kSoundtrackGenres[] = {"Soundtrack", "Game",    "Showtunes",
                                                  "Trailer",    "Musical", "Anime"};

struct CategoryGenres {
    std::string_view category;
    std::span<const std::string_view> genres;
};

constexpr CategoryGenres kCategoryGenres[] = {
    {"blues", kBluesGenres},   {"classical", kClassicalGenres}, {"country", kCountryGenres},
    {"folk", kFolkGenres},     {"jazz", kJazzGenres},           {"newage", kNewageGenres},
    {"reggae", kReggaeGenres}, {"rock", kRockGenres},           {"soundtrack", kSoundtrackGenres},
};

// Every name above is a genre of the table: a misspelt one would quietly send its genre to misc.
constexpr bool namesAreGenres() {
    for (const CategoryGenres& kind : kCategoryGenres)
        for (const std::string_view name : kind.genres)
            if (std::find(kGenreNames.begin(), kGenreNames.end(), name) == kGenreNames.end())
                return false;
    return true;
}
static_assert(namesAreGenres());

// Writes the dump, creating the file when it is missing. A dump that cannot be written does not
// stop the submission; it is only traced.
void writeSubmitDump(const std::filesystem::path& folder, const SubmitEntry& entry) {
    std::string error;
    if (!replaceFileAtomically(folder / kSubmitDumpName, entry.dump(), 0644, true, error))
        debugTrace("cannot write " + (folder / kSubmitDumpName).string() + ": " + error);
}

}  // namespace

std::string cddbServerHost(int index) {
    if (const char* host = std::getenv("TONALDA_CDDB_HOST"); host != nullptr && *host != '\0')
        return host;
    if (index < 0 || index >= static_cast<int>(kCddbServers.size()))
        return {};
    return std::string(kCddbServers[static_cast<std::size_t>(index)]);
}

int genreIndexOfCategory(std::string_view category) {
    for (int genre = 0; genre < kGenreCount - 1; ++genre)
        if (genreCategory(genre) == category)
            return genre;
    return kGenreCount - 1;
}

std::string_view submitCategoryOfGenre(int genre) {
    // 147 is where a lookup puts data, misc and newage discs; Synthpop itself is never matched.
    if (genre == kGenreCount - 1)
        return "misc";
    const std::string_view name = genreName(genre);
    for (const CategoryGenres& kind : kCategoryGenres)
        for (const std::string_view member : kind.genres)
            if (member == name)
                return kind.category;
    return "misc";
}

std::string submitLatin1RefusalText(std::string_view line) {
    return "This CD could not be submitted because: The server does not take UTF-8 text (CDDB "
           "protocol level 6), and this line cannot be written in ISO-8859-1: " +
           std::string(line);
}

CddbConfig lookupConfig(const CddbConfig& previous, const FreeDbSettings& settings,
                        const CancelToken& cancel) {
    CddbConfig config = previous;
    applyCddbOption(config, kOptMirrorIni, std::nullopt, 0);
    applyCddbOption(config, kOptServerHost, cddbServerHost(settings.Server), 0);
    applyCddbOption(config, kOptQueryScript, settings.QueryScript, 0);
    applyCddbOption(config, kOptUseProxy, std::nullopt, settings.proxy != 0 ? 1 : 0);
    // The order matters: the protocol level is verified with the options set before it.
    for (const int level : kLookupProtocolLevels)
        if (cancel.stopRequested() || raiseProtocolLevel(config, level, cancel))
            break;
    applyCddbOption(config, kOptServerPort, std::nullopt, settings.Port);
    if (settings.proxy != 0)
        applyProxyOptions(config, settings);
    applyCddbOption(config, kOptEmail, settings.email, 0);
    applyCddbOption(config, kOptClientName, clientText(), 0);
    return config;
}

CddbConfig submitConfig(const CddbConfig& previous, const FreeDbSettings& settings) {
    CddbConfig config = previous;
    applyCddbOption(config, kOptServerHost, cddbServerHost(settings.Server), 0);
    applyCddbOption(config, kOptUseProxy, std::nullopt, settings.proxy != 0 ? 1 : 0);
    if (settings.proxy != 0)
        applyProxyOptions(config, settings);
    applyCddbOption(config, kOptEmail, settings.email, 0);
    applyCddbOption(config, kOptClientName, kSubmitClientText, 0);
    applyCddbOption(config, kOptSubmitScript, settings.SubmitScript, 0);
    return config;
}

LookupOutcome runCddbLookup(DiscView& view, const FreeDbSettings& settings,
                            const CancelToken& cancel) {
    JobPrompter prompter(view.prompter(), cancel);
    const CddbConfig config = lookupConfig(cddbConfig(), settings, cancel);
    if (cancel.stopRequested())
        return LookupOutcome::Canceled;
    publishCddbConfig(config);  // the options stay as this lookup leaves them

    const auto identity = view.readDiscIdentity();
    if (!identity)
        return LookupOutcome::NoDiscIdentity;
    std::vector<CddbMatch> matches;
    cddbQuery(config, identity->discId,
              std::span<const int>(identity->frameOffsets.data(),
                                   static_cast<std::size_t>(identity->trackCount)),
              identity->leadOutSeconds, matches, kLookupMatchCapacity, cancel);
    if (cancel.stopRequested())
        return LookupOutcome::Canceled;
    if (matches.empty()) {
        prompter.tell(kNoMatches);
        return LookupOutcome::NoMatches;
    }
    const CddbMatch match = chooseMatch(matches);
    std::string entryText;
    const int read = cddbRead(config, match, entryText, kReadReplySize, cancel);
    if (cancel.stopRequested())
        return LookupOutcome::Canceled;
    if (read != kCddbOk) {
        prompter.tell(kReadFailed);
        return LookupOutcome::ReadFailed;
    }

    // From here on the view changes; the rest needs no server and runs to its end.
    XmcdEntry entry(std::move(entryText));
    entry.setOption(kXmcdOptionStrictCheck, false);
    const bool parsed = entry.parse();
    // The entry's DTITLE holds the disc title whole; the match line was cut at 79 characters.
    const bool titledEntry = parsed && !entry.dtitle().empty();
    const std::string artist =
        titledEntry ? cutCharacters(entry.artist(), kDiscTitleLimit) : match.artist;
    const std::string album =
        titledEntry ? cutCharacters(entry.title(), kDiscTitleLimit) : match.title;
    const int genre = genreIndexOfCategory(match.category);
    view.discInfo().update([&](DiscInfo& info) {
        info.album = album;
        info.artist = artist;
        info.genreIndex = genre;
    });
    view.showDiscInfo();
    if (!parsed)
        return LookupOutcome::EntryUnparsed;
    // Tracks beyond the last row of the track list have nowhere to go.
    const int rows = std::min(entry.trackCount(), view.rowCount());
    for (int track = 0; track < rows; ++track) {
        const std::string title =
            cutCharacters(entry.trackTitle(track).value_or(""), kTrackTitleLimit);
        view.updateRowTag(track, [&](TagInfo& tag) {
            tag.isV1 = 1;
            tag.Album1 = album;
            tag.Artist1 = artist;
            tag.Genre1 = genre;
            tag.Title1 = title;
        });
        view.setTrackTitle(track, title);
    }
    prompter.tell(kQuerySuccess);
    view.discInfo().update([](DiscInfo& info) { info.infoPresent = true; });
    return LookupOutcome::Success;
}

bool runCddbSubmit(DiscView& view, const FreeDbSettings& settings, const SubmitEntry& entry,
                   const CancelToken& cancel, SubmitMode mode) {
    JobPrompter prompter(view.prompter(), cancel);
    CddbConfig config = submitConfig(cddbConfig(), settings);
    if (!submissionFitsLevel(config, entry.text))
        raiseProtocolLevel(config, kUtf8ProtocolLevel, cancel);
    publishCddbConfig(config);
    if (cancel.stopRequested())
        return false;
    if (!submissionFitsLevel(config, entry.text)) {
        prompter.tell(submitLatin1RefusalText(firstLineBeyondLatin1(entry.text)));
        return false;
    }
    const std::string_view category = submitCategoryOfGenre(view.discInfo().snapshot().genreIndex);
    const bool submitted = cddbSubmit(config, entry.discId, mode == SubmitMode::Test,
                                      settings.email, category, entry.text, cancel) == kCddbOk;
    if (cancel.stopRequested())
        return false;
    prompter.tell(submitted ? kEntrySubmitted : kSubmitFailed);
    return submitted;
}

CddbLookupJob::CddbLookupJob(DiscView& view, JobEventQueue& events)
    : view_(view), thread_(events) {}

bool CddbLookupJob::start(const FreeDbSettings& settings) {
    return thread_.start([this, settings] {
        thread_.post(JobStarted{});
        const LookupOutcome outcome = runCddbLookup(view_, settings, thread_.cancel());
        outcome_ = outcome;
        if (outcome == LookupOutcome::Success)
            return JobOutcome::Finished;
        return outcome == LookupOutcome::Canceled ? JobOutcome::Canceled : JobOutcome::Failed;
    });
}

CddbSubmitJob::CddbSubmitJob(DiscView& view, JobEventQueue& events)
    : view_(view), thread_(events) {}

bool CddbSubmitJob::start(const FreeDbSettings& settings, const std::filesystem::path& dumpFolder,
                          SubmitMode mode) {
    if (running())
        return false;
    view_.discInfo().update([](DiscInfo& info) { ++info.submitRevision; });
    SubmitEntry entry;
    const int result = formatSubmitEntry(view_, view_.discInfo().snapshot(),
                                         getCddbOption(kOptProtocolLevel), entry);
    writeSubmitDump(dumpFolder, entry);
    if (result != kSubmitComplete) {
        view_.prompter().tell(submitRefusalText(result));
        return false;
    }
    submitted_ = false;
    return thread_.start([this, settings, mode, entry = std::move(entry)] {
        thread_.post(JobStarted{});
        const bool submitted = runCddbSubmit(view_, settings, entry, thread_.cancel(), mode);
        submitted_ = submitted;
        if (thread_.cancel().stopRequested())
            return JobOutcome::Canceled;
        return submitted ? JobOutcome::Finished : JobOutcome::Failed;
    });
}

}  // namespace tonalda::cddb
