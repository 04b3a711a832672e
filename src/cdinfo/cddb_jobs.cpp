#include "cdinfo/cddb_jobs.h"

#include <cstdlib>
#include <span>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_text.h"
#include "cdinfo/debug_trace.h"
#include "cdinfo/xmcd_entry.h"
#include "codecs/genres.h"
#include "platform/atomic_file.h"
#include "platform/prompter.h"

namespace tonalda::cddb {
namespace {

constexpr int kLookupProtocolLevel = 5;
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

CddbConfig lookupConfig(const CddbConfig& previous, const FreeDbSettings& settings,
                        const CancelToken& cancel) {
    CddbConfig config = previous;
    applyCddbOption(config, kOptMirrorIni, std::nullopt, 0);
    applyCddbOption(config, kOptServerHost, cddbServerHost(settings.Server), 0);
    applyCddbOption(config, kOptQueryScript, settings.QueryScript, 0);
    applyCddbOption(config, kOptUseProxy, std::nullopt, settings.proxy != 0 ? 1 : 0);
    // The order matters: the protocol level is verified with the options set before it.
    if (kLookupProtocolLevel <= config.highestVerifiedLevel) {
        config.protocolLevel = kLookupProtocolLevel;
    } else if (cddbListCategories(config, kLookupProtocolLevel, cancel) == 1) {
        config.highestVerifiedLevel = kLookupProtocolLevel;
        config.protocolLevel = kLookupProtocolLevel;
    }
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
    const int genre = genreIndexOfCategory(match.category);
    view.discInfo().update([&](DiscInfo& info) {
        info.album = match.title;
        info.artist = match.artist;
        info.genreIndex = genre;
    });
    view.showDiscInfo();

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
        view.setTrackTitle(track, title);
    }
    prompter.tell(kQuerySuccess);
    view.discInfo().update([](DiscInfo& info) { info.infoPresent = true; });
    return LookupOutcome::Success;
}

bool runCddbSubmit(DiscView& view, const FreeDbSettings& settings, const SubmitEntry& entry,
                   const CancelToken& cancel) {
    const CddbConfig config = submitConfig(cddbConfig(), settings);
    publishCddbConfig(config);
    const std::string category = genreCategory(view.discInfo().snapshot().genreIndex);
    const bool submitted = cddbSubmit(config, entry.discId, false, settings.email, category,
                                      entry.text, cancel) == kCddbOk;
    if (cancel.stopRequested())
        return false;
    JobPrompter(view.prompter(), cancel).tell(submitted ? kEntrySubmitted : kSubmitFailed);
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

bool CddbSubmitJob::start(const FreeDbSettings& settings, const std::filesystem::path& dumpFolder) {
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
    return thread_.start([this, settings, entry = std::move(entry)] {
        thread_.post(JobStarted{});
        const bool submitted = runCddbSubmit(view_, settings, entry, thread_.cancel());
        submitted_ = submitted;
        if (thread_.cancel().stopRequested())
            return JobOutcome::Canceled;
        return submitted ? JobOutcome::Finished : JobOutcome::Failed;
    });
}

}  // namespace tonalda::cddb
