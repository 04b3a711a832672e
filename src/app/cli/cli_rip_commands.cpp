// rip: the checked tracks through the rip job, or one segment through the segment rip.

#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_interrupt.h"
#include "app/cli/cli_job_view.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_session.h"
#include "cdaccess/cd_engine.h"
#include "platform/registry.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "rip/rip_job.h"
#include "rip/segment_rip.h"

namespace tonalda::cli {
namespace {

std::string trackLabel(const TrackList& list, const TrackItem& item) {
    return "Track " + std::to_string(list.trackNumberOfRow(item.row)) + " \"" + item.baseName +
           "\"";
}

bool isDataTrack(const TrackList& list, int row) {
    return static_cast<std::size_t>(row) < list.lbaToc().descriptorCount() &&
           list.lbaToc().tracks[row].isData();
}

// Checks the rows asked for: every audio track when none is named. False, with the reason told,
// when a named track is not on the disc.
bool checkTracks(TrackList& list, const std::set<int>& tracks, Console& console) {
    list.clear();
    for (const int track : tracks) {
        const int row = track - list.firstTrack();
        if (row < 0 || row >= list.rowCount()) {
            console.err("The disc has no track " + std::to_string(track) + " (tracks " +
                        std::to_string(list.firstTrack()) + " to " +
                        std::to_string(list.trackNumberOfRow(list.rowCount() - 1)) + ").");
            return false;
        }
        list.setChecked(row, true);
    }
    if (tracks.empty()) {
        // A data track holds no audio: "all" means the audio tracks.
        for (int row = 0; row < list.rowCount(); ++row)
            list.setChecked(row, !isDataTrack(list, row));
    }
    return true;
}

int ripTracks(const CliOptions& options, DriveSession& session, Console& console) {
    TrackList& list = session.trackList();
    if (!checkTracks(list, options.tracks, console))
        return 1;
    ConsolePrompter prompter(console);
    const RipJob* running = nullptr;
    ConsoleJobView view(console, [&] {
        for (const RipEntry& entry : running->entries())
            if (entry.item.row == running->currentRow())
                return trackLabel(list, entry.item);
        return std::string("Track");
    });
    RipJob job(cdEngine(), Registry::instance(), view, prompter);
    running = &job;
    if (interrupted())
        return 1;  // Ctrl-C before anything started
    if (!job.start(list, currentRipOptions())) {
        console.err(kInvalidSelection);
        return 1;
    }
    if (interrupted())
        job.cancel();  // Ctrl-C while the job was starting: its start cleared the cancel flag
    job.wait();
    std::string summary;
    for (const RipEntry& entry : job.entries())
        summary += trackLabel(list, entry.item) + ": " + entry.status + "\n";
    console.outText(summary);
    return job.succeeded() ? 0 : 1;
}

// The frames of the segment into the segment dialog's first output name: "Untitled" in the rip
// folder. A range beyond the disc is cut at its end, as the dialog does after saying "exceed".
int ripSegment(const FrameRange& segment, DriveSession& session, Console& console) {
    const std::uint32_t discLength = leadOutFrame(session.trackList());
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
    const RipOptions rip = currentRipOptions();
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

    ConsolePrompter prompter(console);
    ConsoleJobView view(console, [&] { return label; });
    SegmentRip job(cdEngine(), Registry::instance(), view, prompter);
    if (interrupted())
        return 1;  // Ctrl-C before anything started
    if (!job.start(session.handle(), range.start, range.end, options))
        return 1;
    if (interrupted())
        job.cancel();  // Ctrl-C while the job was starting: its start cleared the cancel flag
    job.wait();
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
