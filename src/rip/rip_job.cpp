#include "rip/rip_job.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>

#include "cdinfo/disc_info.h"
#include "cdinfo/misc_settings.h"
#include "codecs/extractor.h"
#include "codecs/file_encoding.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "platform/partial_file.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"
#include "platform/worker_pool.h"
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
    options.workers = availableCores();
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
    std::vector<std::string> bases;
    for (TrackItem& item : queue) {
        item.done = false;
        rows.push_back(item.row);
        bases.push_back(safeNameComponent(item.baseName));
    }
    queue_ = std::move(queue);
    options_ = options;
    handle_ = sessionHandle;
    fileEndings_ = distinctOutputEndings(
        bases, isOutputFormat(options.format) ? outputFormatExtension(options.format) : "");
    fileBases_ = std::move(bases);
    return runner_.start(std::move(rows), [this] { return run(); });
}

std::vector<RipEntry> RipJob::entries() const {
    const std::vector<RunnerEntry> states = runner_.entries();
    const std::string_view extension =
        isOutputFormat(options_.format) ? outputFormatExtension(options_.format) : "";
    std::vector<RipEntry> result;
    for (std::size_t index = 0; index < queue_.size() && index < states.size(); ++index) {
        RipEntry entry{queue_[index], states[index].status,
                       outputFilePath({}, fileBases_[index], fileEndings_[index]).string(),
                       fileEndings_[index] != extension};
        entry.item.done = states[index].complete;
        result.push_back(std::move(entry));
    }
    return result;
}

// What one run keeps between the stages of its entries.
struct RipJob::Run {
    explicit Run(RipJob& job)
        : prompter(job.prompter_, job.runner_.cancel()),
          extractor(job.engine_, job.options_.cdrom, prompter, job.runner_.cancel()),
          encoders(static_cast<std::size_t>(std::max(job.options_.workers, 1))),
          extracted(job.queue_.size()),
          outputs(job.queue_.size()) {}

    // The encoders of a worker, made on its thread when it first encodes.
    FileEncoders& encodersOf(int worker, RipJob& job) {
        auto& made = encoders[static_cast<std::size_t>(worker)];
        if (!made)
            made = std::make_unique<FileEncoders>(job.registry_, prompter, job.options_.ogg,
                                                  job.options_.wma);
        return *made;
    }

    JobPrompter prompter;
    Extractor extractor;
    std::vector<std::unique_ptr<FileEncoders>> encoders;  // one per worker
    // An entry's extracted audio and the file it is encoded into, from its first stage to its
    // second; each entry's are touched by one thread at a time.
    std::vector<std::optional<TempFile>> extracted;
    std::vector<fs::path> outputs;
};

JobOutcome RipJob::run() {
    Run state(*this);
    const bool encoded = isOutputFormat(options_.format) && options_.format != 0;
    StagedWork staged;
    staged.first = [&](EntryWork& work, std::size_t index) {
        return extractEntry(work, index, state);
    };
    staged.second = [&](EntryWork& work, std::size_t index) {
        return encodeEntry(work, index, state);
    };
    // A WAV file needs no encoder: each track is extracted straight into its file.
    staged.workers = encoded ? std::max(options_.workers, 1) : 1;
    staged.inFlight = staged.workers + 1;
    return runner_.runStaged(staged);
}

EntryResult RipJob::extractEntry(EntryWork& work, std::size_t index, Run& run) {
    if (!isOutputFormat(options_.format))
        return EntryResult::Skipped;  // no format to make: the entry is left as it is
    const auto format = static_cast<OutputFormat>(options_.format);
    const TrackItem& item = queue_[index];
    const CancelToken& cancel = work.cancel();
    Prompter& prompter = run.prompter;
    // An extraction that failed has told the user; one cut short by the cancel is Stopped.
    const auto stopped = [&](ExtractionResult result) {
        return result == ExtractionResult::Failed ? EntryResult::Failed : EntryResult::Stopped;
    };
    // Folders are made before each file, as the sub-folder rule asks. One that cannot be made
    // stops the job like an extraction error: nothing may be written in its place.
    const auto outputFile = [&]() -> std::optional<fs::path> {
        OutputFolder folder = prepareOutputFolder(options_.ripFolder, options_.discArtist,
                                                  options_.discAlbum, options_.subFolderRule);
        if (!folder.ok()) {
            prompter.tell(folder.error, PromptIcon::Error);
            return std::nullopt;
        }
        return outputFilePath(folder.folder, fileBases_[index], fileEndings_[index]);
    };

    work.setStatus(RowStatus::Extracting);
    std::string error;
    if (format == OutputFormat::Wav) {
        const auto wav = outputFile();
        if (!wav)
            return EntryResult::Failed;
        std::optional<PartialFile> partial = PartialFile::create(*wav, error);
        if (!partial) {
            prompter.tell(error, PromptIcon::Error);
            return EntryResult::Failed;
        }
        const ExtractionResult extracted =
            run.extractor.extract(handle_, item.startFrame, item.frameCount, partial->path(),
                                  &work.progress(RowActivity::Extracting), *wav);
        if (extracted != ExtractionResult::Completed || cancel.stopRequested())
            return stopped(extracted);  // the partial file goes with `partial`
        if (!partial->commit(error)) {
            prompter.tell(error, PromptIcon::Error);
            return EntryResult::Failed;
        }
        work.setStatus(RowStatus::Extracted);
        return EntryResult::Complete;
    }

    const fs::path tempFolder = jobTempFolder(options_.tempFolder);
    std::error_code ignored;
    fs::create_directory(tempFolder, ignored);  // one level; a failure shows when the file is made
    std::optional<TempFile> temp = TempFile::create(tempFolder, fileBases_[index], ".tmp", error);
    if (!temp) {
        prompter.tell(error, PromptIcon::Error);
        return EntryResult::Failed;
    }
    const ExtractionResult extracted =
        run.extractor.extract(handle_, item.startFrame, item.frameCount, temp->path(),
                              &work.progress(RowActivity::Extracting));
    if (extracted != ExtractionResult::Completed || cancel.stopRequested())
        return stopped(extracted);  // the temporary file goes with `temp`
    work.setStatus(RowStatus::Extracted);
    const auto output = outputFile();
    if (!output)
        return EntryResult::Failed;
    run.outputs[index] = *output;
    run.extracted[index] = std::move(temp);
    return EntryResult::Handed;
}

EntryResult RipJob::encodeEntry(EntryWork& work, std::size_t index, Run& run) {
    // The temporary file goes when this ends, whatever the outcome.
    const std::optional<TempFile> temp = std::move(run.extracted[index]);
    run.extracted[index].reset();
    if (work.stopRequested() || !temp)
        return EntryResult::Stopped;
    work.setStatus(RowStatus::Encoding);
    const EncodeOutcome outcome =
        run.encodersOf(work.worker(), *this)
            .encodeToFile(static_cast<OutputFormat>(options_.format), temp->path(),
                          run.outputs[index], &queue_[index].tag,
                          &work.progress(RowActivity::Encoding), work.cancel());
    return finishEncodedEntry(work, outcome);
}

}  // namespace tonalda
