#include "cdinfo/cddb_jobs.h"

#include <cstdlib>
#include <span>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_text.h"
#include "cdinfo/debug_trace.h"
#include "cdinfo/disc_info.h"
#include "cdinfo/xmcd_entry.h"
#include "platform/atomic_file.h"
#include "codecs/genres.h"

namespace tonalda::cddb {
namespace {

constexpr int kLookupProtocolLevel = 5;
constexpr std::size_t kTrackTitleLimit = 80;
constexpr std::string_view kSubmitClientText = "aaa";

std::string clientText() {
    return "Marrowby v1.01";
}

void setProxyOptions(const FreeDbSettings& settings) {
    setCddbOption(kOptProxyHost, settings.proxyserver, 0);
    setCddbOption(kOptProxyPort, std::nullopt, settings.pport);
    setCddbOption(kOptProxyAuth, settings.username + ":" + settings.pass, 0);
}

// With several matches the first exact one is read, else the first.
const CddbMatch& chooseMatch(const std::vector<CddbMatch>& matches) {
    for (const auto& match : matches)
        if (match.exact)
            return match;
    return matches.front();
}

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

LookupOutcome runCddbLookup(DiscView& view, const FreeDbSettings& settings) {
    // The order matters: the protocol level is verified with the options set before it.
    setCddbOption(kOptMirrorIni, std::nullopt, 0);
    setCddbOption(kOptServerHost, cddbServerHost(settings.Server), 0);
    setCddbOption(kOptQueryScript, settings.QueryScript, 0);
    setCddbOption(kOptUseProxy, std::nullopt, settings.proxy != 0 ? 1 : 0);
    setCddbOption(kOptProtocolLevel, std::nullopt, kLookupProtocolLevel);
    setCddbOption(kOptServerPort, std::nullopt, settings.Port);
    if (settings.proxy != 0)
        setProxyOptions(settings);
    setCddbOption(kOptEmail, settings.email, 0);
    setCddbOption(kOptClientName, clientText(), 0);

    const auto identity = view.readDiscIdentity();
    if (!identity)
        return LookupOutcome::NoDiscIdentity;
    std::vector<CddbMatch> matches;
    cddbQuery(identity->discId,
              std::span<const int>(identity->frameOffsets.data(),
                                   static_cast<std::size_t>(identity->trackCount)),
              identity->leadOutSeconds, matches, kLookupMatchCapacity);
    if (matches.empty()) {
        view.prompter().tell(kNoMatches);
        return LookupOutcome::NoMatches;
    }
    const CddbMatch match = chooseMatch(matches);
    std::string entryText;
    if (cddbRead(match, entryText, kReadReplySize) != kCddbOk) {
        view.prompter().tell(kReadFailed);
        return LookupOutcome::ReadFailed;
    }

    const int genre = genreIndexOfCategory(match.category);
    discInfo().update([&](DiscInfo& info) {
        info.album = match.title;
        info.artist = match.artist;
        info.genreIndex = genre;
    });
    view.messages().send(UM_SHOW_DISC_INFO);

    XmcdEntry entry(std::move(entryText));
    entry.setOption(kXmcdOptionStrictCheck, false);
    if (!entry.parse())
        return LookupOutcome::EntryUnparsed;
    // Tracks beyond the last row of the track list have nowhere to go.
    const int rows = std::min(entry.trackCount(), view.rowCount());
    for (int track = 0; track < rows; ++track) {
        const std::string title =
            cutCharacters(entry.trackTitle(track).value_or(""), kTrackTitleLimit);
        view.updateRowTag(track, [&](TagInfo& tag) {
            tag.isV1 = 1;
            tag.Album1 = match.title;
            tag.Artist1 = match.artist;
            tag.Genre1 = genre;
            tag.Title1 = title;
        });
        sendTrackTitle(view.messages(), track, title);
    }
    view.prompter().tell(kQuerySuccess);
    discInfo().update([](DiscInfo& info) { info.infoPresent = true; });
    return LookupOutcome::Success;
}

std::jthread startCddbLookup(DiscView& view, const FreeDbSettings& settings) {
    return std::jthread([&view, settings] { runCddbLookup(view, settings); });
}

bool runCddbSubmit(DiscView& view, const FreeDbSettings& settings, const SubmitEntry& entry) {
    setCddbOption(kOptServerHost, cddbServerHost(settings.Server), 0);
    setCddbOption(kOptUseProxy, std::nullopt, settings.proxy != 0 ? 1 : 0);
    if (settings.proxy != 0)
        setProxyOptions(settings);
    setCddbOption(kOptEmail, settings.email, 0);
    setCddbOption(kOptClientName, kSubmitClientText, 0);
    setCddbOption(kOptSubmitScript, settings.SubmitScript, 0);

    const std::string category = genreCategory(discInfo().snapshot().genreIndex);
    const bool submitted =
        cddbSubmit(entry.discId, false, settings.email, category, entry.text) == kCddbOk;
    view.prompter().tell(submitted ? kEntrySubmitted : kSubmitFailed);
    return submitted;
}

std::optional<std::jthread> submitToCddb(DiscView& view, const FreeDbSettings& settings,
                                         const std::filesystem::path& dumpFolder) {
    discInfo().update([](DiscInfo& info) { ++info.submitRevision; });
    SubmitEntry entry;
    const int result =
        formatSubmitEntry(view, discInfo().snapshot(), getCddbOption(kOptProtocolLevel), entry);
    writeSubmitDump(dumpFolder, entry);
    if (result != kSubmitComplete) {
        view.prompter().tell(submitRefusalText(result));
        return std::nullopt;
    }
    return std::jthread([&view, settings, entry = std::move(entry)] {
        runCddbSubmit(view, settings, entry);
    });
}

}  // namespace tonalda::cddb
