#include "rip/rip_job.h"

#include <optional>
#include <system_error>

#include "cdinfo/disc_info.h"
#include "cdinfo/misc_settings.h"
#include "codecs/extractor.h"
#include "codecs/file_encoding.h"
#include "codecs/id3_writer.h"
#include "codecs/mp3_encoder.h"
#include "codecs/ogg_encoder.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "codecs/wma_encoder.h"
#include "platform/cancel_flag.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"
#include "rip/output_naming.h"

namespace fs = std::filesystem;

namespace tonalda {

// The extractor and encoders of one job, made on its worker thread.
struct RipWorkers {
    RipWorkers(CdEngine& engine, Registry& registry, const RipOptions& options, MessageSink& view,
               Prompter& prompter)
        : extractor(engine, options.cdrom, view, prompter),
          mp3(registry, prompter),
          ogg(options.ogg),
          wma(registry, prompter) {}

    Extractor extractor;
    Mp3Encoder mp3;
    OggEncoder ogg;
    WmaEncoder wma;
};

RipOptions currentRipOptions() {
    RipOptions options;
    const OutputSettings& output = outputSettings();
    options.format = output.format;
    options.ripFolder = output.ripFolder;
    options.fileNameRule = output.fileNameRule;
    options.subFolderRule = output.subFolderRule;
    const DiscInfo disc = discInfo().snapshot();
    options.discArtist = disc.artist;
    options.discAlbum = disc.album;
    options.tempFolder = miscSettings().tempPath;
    options.cdrom = cdRomSettings();
    options.ogg = oggSettings();
    options.wma = wmaSettings();
    return options;
}

RipJob::RipJob(CdEngine& engine, Registry& registry, MessageSink& view, Prompter& prompter)
    : engine_(engine), registry_(registry), view_(view), prompter_(prompter) {}

bool RipJob::start(TrackList& list, const RipOptions& options) {
    if (running())
        return false;
    std::vector<TrackItem> queue;
    for (int row = 0; row < list.rowCount(); ++row) {
        if (!list.isChecked(row))
            continue;
        TrackItem& item = list.item(row);
        item.row = row;
        item.baseName = composeBaseName(item.baseName, item.tag, options.fileNameRule);
        queue.push_back(item);
        list.setColumnText(row, kColumnStatus, std::string(kStatusWaiting));
    }
    return start(list.sessionHandle(), std::move(queue), options);
}

bool RipJob::start(int sessionHandle, std::vector<TrackItem> queue, const RipOptions& options) {
    if (running() || queue.empty())
        return false;
    {
        std::lock_guard lock(mutex_);
        entries_.clear();
        for (TrackItem& item : queue) {
            item.done = false;
            entries_.push_back({std::move(item), std::string(kStatusWaiting)});
        }
    }
    cancelFlag() = 0;
    errorFlag_ = false;
    options_ = options;
    current_ = 0;
    progressHidden_ = true;
    stoppedEarly_ = false;
    entryFailed_ = false;
    currentRow_ = entries_.front().item.row;
    handle_ = sessionHandle;
    return thread_.start([this] { run(); });
}

void RipJob::cancel() {
    cancelFlag() = 1;
}

std::vector<RipEntry> RipJob::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool RipJob::succeeded() const {
    if (running())
        return false;
    std::lock_guard lock(mutex_);
    for (const RipEntry& entry : entries_)
        if (!entry.item.done)
            return false;
    return !entries_.empty();
}

void RipJob::setStatus(std::size_t index, std::string_view status) {
    std::lock_guard lock(mutex_);
    entries_[index].status = status;
}

void RipJob::markDone(std::size_t index) {
    std::lock_guard lock(mutex_);
    entries_[index].item.done = true;
}

void RipJob::failJob() {
    errorFlag_ = true;
    cancelFlag() = 1;
}

// What the rip view does with each message, kept here so that every view shows the same.
void RipJob::observe(UserMessage message) {
    switch (message) {
        case UM_EXTRACT_BEGIN:
            setStatus(current_, kStatusExtracting);
            progressHidden_ = false;
            break;
        case UM_EXTRACT_DONE:
            progressHidden_ = true;
            setStatus(current_, errorFlag_ ? kStatusError : kStatusExtracted);
            break;
        case UM_ENCODE_BEGIN:
            setStatus(current_, kStatusEncoding);
            progressHidden_ = false;
            break;
        case UM_ENCODE_DONE:
            progressHidden_ = true;
            setStatus(current_, errorFlag_ || entryFailed_ ? kStatusError : kStatusEncoded);
            break;
        case UM_EXTRACT_ERROR:
            failJob();
            break;
        case UM_JOB_END:
            // The job stopped inside an entry, or between its extraction and its encoding: it
            // and the entries after it did not finish.
            if (!progressHidden_ || stoppedEarly_) {
                progressHidden_ = true;
                std::lock_guard lock(mutex_);
                for (std::size_t i = current_; i < entries_.size(); ++i)
                    if (!entries_[i].item.done)
                        entries_[i].status = errorFlag_ ? kStatusError : kStatusCanceled;
            }
            break;
        default:
            break;
    }
}

LParam RipJob::Relay::send(UserMessage message, WParam wParam, LParam lParam) {
    job_.observe(message);
    return job_.view_.send(message, wParam, lParam);
}

void RipJob::run() {
    {
        RipWorkers work(engine_, registry_, options_, relay_, prompter_);
        relay_.send(UM_JOB_BEGIN, 0, 0);
        const std::size_t count = entries().size();
        for (std::size_t index = 0; index < count; ++index) {
            current_ = index;
            entryFailed_ = false;
            if (!ripEntry(work, index)) {
                stoppedEarly_ = true;
                break;
            }
        }
    }
    relay_.send(UM_JOB_END, 0, 0);
}

bool RipJob::ripEntry(RipWorkers& work, std::size_t index) {
    const TrackItem item = [&] {
        std::lock_guard lock(mutex_);
        return entries_[index].item;
    }();
    currentRow_ = item.row;
    if (!isOutputFormat(options_.format))
        return true;  // no format to make: the entry is left as it is
    const auto format = static_cast<OutputFormat>(options_.format);
    const std::string fileBase = safeNameComponent(item.baseName);

    // Folders are made before each file, as the sub-folder rule asks. One that cannot be made
    // stops the job like an extraction error: nothing may be written in its place.
    const auto outputFolder = [&]() -> std::optional<fs::path> {
        OutputFolder folder = prepareOutputFolder(options_.ripFolder, options_.discArtist,
                                                  options_.discAlbum, options_.subFolderRule);
        if (folder.ok())
            return folder.folder;
        prompter_.tell(folder.error, PromptIcon::Error);
        failJob();
        return std::nullopt;
    };

    if (format == OutputFormat::Wav) {
        relay_.send(UM_EXTRACT_BEGIN, 0, 0);
        const auto folder = outputFolder();
        if (!folder)
            return false;
        const fs::path base = *folder / fileBase;
        if (work.extractor.extractToWav(handle_, item.startFrame, item.frameCount, base) ==
            ExtractionResult::Failed)
            failJob();
        if (cancelFlag().load()) {
            removeQuietly(withExtension(base, ".wav"));
            return false;
        }
        relay_.send(UM_EXTRACT_DONE, 0, 0);
        markDone(index);
        return true;
    }

    relay_.send(UM_EXTRACT_BEGIN, 0, 0);
    const fs::path tempFolder = jobTempFolder(options_.tempFolder);
    std::error_code ignored;
    fs::create_directory(tempFolder, ignored);  // one level; a failure shows when the file is made
    const fs::path tempBase = tempFolder / fileBase;
    const fs::path temp = withExtension(tempBase, ".tmp");
    if (work.extractor.extractToTemp(handle_, item.startFrame, item.frameCount, tempBase) ==
        ExtractionResult::Failed)
        failJob();
    if (cancelFlag().load()) {
        removeQuietly(temp);
        return false;
    }
    relay_.send(UM_EXTRACT_DONE, 0, 0);
    const auto folder = outputFolder();
    if (!folder) {
        removeQuietly(temp);
        return false;
    }
    relay_.send(UM_ENCODE_BEGIN, 0, 0);
    const fs::path output =
        *folder / (fileBase + std::string(outputFormatExtension(options_.format)));

    EncodeOutcome outcome = EncodeOutcome::Failed;
    switch (format) {
        case OutputFormat::Mp3:
            work.mp3.loadEncoder();
            if (work.mp3.encodeFile(temp, &relay_, *folder))
                outcome = EncodeOutcome::Done;
            else if (cancelFlag().load())
                outcome = EncodeOutcome::Cancelled;
            break;
        case OutputFormat::Wma:
            outcome =
                encodeWmaFile(work.wma, options_.wma, temp, output, &item.tag, &relay_, prompter_);
            break;
        case OutputFormat::Ogg:
            outcome = encodeOggFile(work.ogg, temp, output, &item.tag, &relay_, prompter_);
            break;
        case OutputFormat::Wav:
            break;
    }
    removeQuietly(temp);
    if (outcome == EncodeOutcome::Cancelled || cancelFlag().load()) {
        removeQuietly(output);
        return false;
    }
    if (format == OutputFormat::Mp3 && outcome == EncodeOutcome::Done)
        writeId3Tag(item.tag, output);
    // An encoder failure has been reported; the job goes on, but the entry is not complete.
    entryFailed_ = outcome != EncodeOutcome::Done;
    relay_.send(UM_ENCODE_DONE, 0, 0);
    if (!entryFailed_)
        markDone(index);
    return true;
}

}  // namespace tonalda
