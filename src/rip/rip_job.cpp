#include "rip/rip_job.h"

#include <optional>
#include <system_error>

#include "cdinfo/disc_info.h"
#include "cdinfo/misc_settings.h"
#include "codecs/extractor.h"
#include "codecs/file_encoding.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"
#include "rip/output_naming.h"

namespace fs = std::filesystem;

namespace tonalda {

RipOptions currentRipOptions(const DiscInfo& disc) {
    RipOptions options;
    const OutputSettings& output = outputSettings();
    options.format = output.format;
    options.ripFolder = output.ripFolder;
    options.fileNameRule = output.fileNameRule;
    options.subFolderRule = output.subFolderRule;
    options.discArtist = disc.artist;
    options.discAlbum = disc.album;
    options.tempFolder = miscSettings().tempPath;
    options.cdrom = cdRomSettings();
    options.ogg = oggSettings();
    options.wma = wmaSettings();
    return options;
}

RipJob::RipJob(CdEngine& engine, Registry& registry, Prompter& prompter, JobEventQueue& events)
    : engine_(engine), registry_(registry), prompter_(prompter), runner_(events) {}

std::vector<TrackItem> takeRipQueue(TrackList& list, std::int32_t fileNameRule) {
    std::vector<TrackItem> queue;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (!list.isChecked(row))
            continue;
        TrackItem& item = list.item(row);
        item.row = row;
        item.baseName = composeBaseName(item.baseName, item.tag, fileNameRule);
        queue.push_back(item);
        list.setColumnText(row, kColumnStatus, std::string(statusText(RowStatus::Waiting)));
    }
    return queue;
}

bool RipJob::start(TrackList& list, const RipOptions& options) {
    if (running())
        return false;
    return start(list.sessionHandle(), takeRipQueue(list, options.fileNameRule), options);
}

bool RipJob::start(int sessionHandle, std::vector<TrackItem> queue, const RipOptions& options) {
    if (running() || queue.empty())
        return false;
    std::vector<int> rows;
    for (TrackItem& item : queue) {
        item.done = false;
        rows.push_back(item.row);
    }
    queue_ = std::move(queue);
    options_ = options;
    handle_ = sessionHandle;
    return runner_.start(std::move(rows), [this] { return run(); });
}

std::vector<RipEntry> RipJob::entries() const {
    const std::vector<RunnerEntry> states = runner_.entries();
    std::vector<RipEntry> result;
    for (std::size_t index = 0; index < queue_.size() && index < states.size(); ++index) {
        RipEntry entry{queue_[index], states[index].status};
        entry.item.done = states[index].complete;
        result.push_back(std::move(entry));
    }
    return result;
}

JobOutcome RipJob::run() {
    JobPrompter prompter(prompter_, runner_.cancel());
    Extractor extractor(engine_, options_.cdrom, prompter, runner_.cancel());
    FileEncoders encoders(registry_, prompter, options_.ogg, options_.wma);
    return runner_.runEntries([&](EntryWork& work, std::size_t index) {
        return ripEntry(work, queue_[index], extractor, encoders);
    });
}

EntryResult RipJob::ripEntry(EntryWork& work, const TrackItem& item, Extractor& extractor,
                             FileEncoders& encoders) {
    if (!isOutputFormat(options_.format))
        return EntryResult::Skipped;  // no format to make: the entry is left as it is
    const auto format = static_cast<OutputFormat>(options_.format);
    const std::string fileBase = safeNameComponent(item.baseName);
    const CancelToken& cancel = work.cancel();
    JobPrompter prompter(prompter_, cancel);
    // An extraction that failed has told the user; one cut short by the cancel is Stopped.
    const auto stopped = [&](ExtractionResult result) {
        return result == ExtractionResult::Failed ? EntryResult::Failed : EntryResult::Stopped;
    };

    // Folders are made before each file, as the sub-folder rule asks. One that cannot be made
    // stops the job like an extraction error: nothing may be written in its place.
    const auto outputFolder = [&]() -> std::optional<fs::path> {
        OutputFolder folder = prepareOutputFolder(options_.ripFolder, options_.discArtist,
                                                  options_.discAlbum, options_.subFolderRule);
        if (folder.ok())
            return folder.folder;
        prompter.tell(folder.error, PromptIcon::Error);
        return std::nullopt;
    };

    work.setStatus(RowStatus::Extracting);
    if (format == OutputFormat::Wav) {
        const auto folder = outputFolder();
        if (!folder)
            return EntryResult::Failed;
        const fs::path wav = withExtension(*folder / fileBase, ".wav");
        const ExtractionResult extracted =
            extractor.extract(handle_, item.startFrame, item.frameCount, wav,
                              &work.progress(RowActivity::Extracting));
        if (extracted != ExtractionResult::Completed || cancel.stopRequested()) {
            removeQuietly(wav);
            return stopped(extracted);
        }
        work.setStatus(RowStatus::Extracted);
        return EntryResult::Complete;
    }

    const fs::path tempFolder = jobTempFolder(options_.tempFolder);
    std::error_code ignored;
    fs::create_directory(tempFolder, ignored);  // one level; a failure shows when the file is made
    std::string error;
    std::optional<TempFile> temp = TempFile::create(tempFolder, fileBase, ".tmp", error);
    if (!temp) {
        prompter.tell(error, PromptIcon::Error);
        return EntryResult::Failed;
    }
    const ExtractionResult extracted =
        extractor.extract(handle_, item.startFrame, item.frameCount, temp->path(),
                          &work.progress(RowActivity::Extracting));
    if (extracted != ExtractionResult::Completed || cancel.stopRequested())
        return stopped(extracted);  // the temporary file goes with `temp`
    work.setStatus(RowStatus::Extracted);
    const auto folder = outputFolder();
    if (!folder)
        return EntryResult::Failed;
    work.setStatus(RowStatus::Encoding);
    const fs::path output =
        *folder / (fileBase + std::string(outputFormatExtension(options_.format)));
    const EncodeOutcome outcome = encoders.encodeToFile(
        format, temp->path(), output, &item.tag, &work.progress(RowActivity::Encoding), cancel);
    temp->remove();
    if (outcome == EncodeOutcome::Cancelled || cancel.stopRequested()) {
        removeQuietly(output);
        return EntryResult::Stopped;
    }
    // An encoder failure has been reported; the job goes on, but the entry is not complete.
    if (outcome != EncodeOutcome::Done)
        return EntryResult::Incomplete;
    work.setStatus(RowStatus::Encoded);
    return EntryResult::Complete;
}

}  // namespace tonalda
