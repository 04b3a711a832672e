// rip: the checked tracks through the rip job, or one segment through the segment rip.

#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_job_view.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_session.h"
#include "cdaccess/cd_engine.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "platform/registry.h"
#include "rip/output_naming.h"
#include "rip/rip_job.h"
#include "rip/segment_rip.h"

namespace tonalda::cli {
namespace {

std::string trackLabel(const DiscSession& disc, const TrackItem& item) {
    return "Track " + std::to_string(disc.firstTrack() + item.row) + " \"" + item.baseName + "\"";
}

bool isDataTrack(const DiscToc& lba, int row) {
    return static_cast<std::size_t>(row) < lba.descriptorCount() && lba.tracks[row].isData();
}

// Checks the rows asked for: every audio track when none is named. False, with the reason told,
// when a named track is not on the disc.
bool checkTracks(DiscSession& disc, const std::set<int>& tracks, Console& console) {
    disc.clear();
    const int rows = disc.rowCount();
    for (const int track : tracks) {
        const int row = track - disc.firstTrack();
        if (row < 0 || row >= rows) {
            console.err("The disc has no track " + std::to_string(track) + " (tracks " +
                        std::to_string(disc.firstTrack()) + " to " +
                        std::to_string(disc.firstTrack() + rows - 1) + ").");
            return false;
        }
        disc.setChecked(row, true);
    }
    if (tracks.empty()) {
        // A data track holds no audio: "all" means the audio tracks.
        const DiscToc lba = disc.lbaToc();
        for (int row = 0; row < rows; ++row)
            disc.setChecked(row, !isDataTrack(lba, row));
    }
    return true;
}

// Tracks whose names compose alike are written under distinct names: says which, before the
// files appear.
void tellRenamedOutputs(const DiscSession& disc, const std::vector<RipEntry>& entries,
                        Console& console) {
    for (const RipEntry& entry : entries)
        if (entry.renamed)
            console.err(trackLabel(disc, entry.item) + " is written as \"" + entry.outputName +
                        "\": an earlier track of this rip has its name.");
}

int ripTracks(const CliOptions& options, DriveSession& session, Console& console) {
    DiscSession& disc = session.disc();
    if (!checkTracks(disc, options.tracks, console))
        return 1;
    if (interrupted())
        return 1;  // Ctrl-C before anything started
    RipOptions ripOptions = currentRipOptions(disc.discInfo().snapshot());
    if (options.jobs)
        ripOptions.workers = *options.jobs;
    std::vector<TrackItem> queue = disc.takeRipQueue(ripOptions.fileNameRule);
    RipJob job(cdEngine(), Registry::instance(), session.prompter(), session.events());
    if (!job.start(disc.handle(), std::move(queue), ripOptions)) {
        console.err(kInvalidSelection);
        return 1;
    }
    tellRenamedOutputs(disc, job.entries(), console);
    ConsoleJobView view(console, [&](int row) { return trackLabel(disc, disc.item(row)); });
    followJob(job, session.events(), view, [&](const JobNotice& notice) { disc.apply(notice); });
    std::string summary;
    for (const RipEntry& entry : job.entries())
        summary +=
            trackLabel(disc, entry.item) + ": " + std::string(statusText(entry.status)) + "\n";
    console.outText(summary);
    return job.succeeded() ? 0 : 1;
}

// The frames of the segment into the segment dialog's first output name: "Untitled" in the rip
// folder. A range beyond the disc is cut at its end, as the dialog does after saying "exceed".
int ripSegment(const FrameRange& segment, DriveSession& session, Console& console) {
    DiscSession& disc = session.disc();
    const std::uint32_t discLength = disc.leadOutFrame();
    FrameRange range = segment;
    if (range.end > discLength) {
        console.err("exceed");
        range.end = discLength;
    }
    if (range.start >= range.end) {
        console.err("The segment holds no frames (the disc ends at frame " +
                    std::to_string(discLength) + ").");
        return 1;
    }

    const OutputSettings& output = outputSettings();
    const RipOptions rip = currentRipOptions(disc.discInfo().snapshot());
    SegmentRipOptions options;
    options.format = output.format;
    options.output = defaultSegmentOutput(output.ripFolder, output.format);
    options.tempFolder = rip.tempFolder;
    options.cdrom = rip.cdrom;
    options.ogg = rip.ogg;
    options.wma = rip.wma;
    const std::string label = "Segment " + std::to_string(range.start) + "-" +
                              std::to_string(range.end) + " \"" +
                              options.output.filename().string() + "\"";

    // The folder is made as a track rip makes its own: --out may name one that is not there yet.
    const OutputFolder folder = prepareOutputFolder(options.output.parent_path(), {}, {}, 0);
    if (!folder.ok()) {
        console.err(folder.error);
        return 1;
    }
    if (interrupted())
        return 1;  // Ctrl-C before anything started
    SegmentRip job(cdEngine(), Registry::instance(), session.prompter(), session.events());
    if (!job.start(disc.handle(), range.start, range.end, options))
        return 1;
    ConsoleJobView view(console, [&](int) { return label; });
    followJob(job, session.events(), view);
    console.endProgress();
    const SegmentOutcome outcome = job.outcome();
    console.out(label + ": " + job.status());
    if (outcome == SegmentOutcome::Finished)
        console.out(options.output.string());
    return outcome == SegmentOutcome::Finished ? 0 : 1;
}

}  // namespace

int ripDisc(const CliOptions& options, Console& console) {
    OutputSettings& output = outputSettings();
    if (options.format)
        output.format = *options.format;
    if (options.outFolder)
        output.ripFolder = std::filesystem::absolute(*options.outFolder).string();
    if (!isOutputFormat(output.format)) {
        console.err("The Output settings name no format to rip to (format " +
                    std::to_string(output.format) + ").");
        return 1;
    }
    DriveSession session(console);
    if (!session.open())
        return 1;
    if (options.segment)
        return ripSegment(*options.segment, session, console);
    return ripTracks(options, session, console);
}

}  // namespace tonalda::cli
