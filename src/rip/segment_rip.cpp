#include "rip/segment_rip.h"

#include <optional>
#include <system_error>

#include "codecs/extractor.h"
#include "codecs/file_encoding.h"
#include "codecs/output_format.h"
#include "codecs/output_name.h"
#include "platform/partial_file.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"

namespace fs = std::filesystem;

namespace tonalda {

std::string_view segmentStatusText(RowStatus status) {
    switch (status) {
        case RowStatus::Waiting:
            return {};
        case RowStatus::Extracting:
            return kSegmentExtracting;
        case RowStatus::Extracted:
            return kSegmentExtracted;
        case RowStatus::Encoding:
            return kSegmentEncoding;
        case RowStatus::Encoded:
            return kSegmentFinished;
        case RowStatus::Canceled:
            return kSegmentCanceled;
        case RowStatus::Error:
            return kSegmentError;
    }
    return {};
}

fs::path defaultSegmentOutput(const fs::path& ripFolder, std::int32_t format) {
    return ripFolder / ("Untitled" + std::string(outputFormatExtension(format)));
}

SegmentRip::SegmentRip(CdEngine& engine, Registry& registry, Prompter& prompter,
                       JobEventQueue& events)
    : engine_(engine), registry_(registry), prompter_(prompter), runner_(events) {}

bool SegmentRip::start(int sessionHandle, std::uint32_t startFrame, std::uint32_t endFrame,
                       const SegmentRipOptions& options) {
    if (running() || endFrame <= startFrame)
        return false;
    options_ = options;
    handle_ = sessionHandle;
    return runner_.start({kSegmentRow}, [this, startFrame, endFrame] {
        return runner_.runEntries([&](EntryWork& work, std::size_t) {
            return rip(work, startFrame, endFrame - startFrame);
        });
    });
}

std::string SegmentRip::status() const {
    if (running() && runner_.cancel().stopRequested())
        return std::string(kSegmentCanceled);
    const auto entries = runner_.entries();
    return entries.empty() ? std::string() : std::string(segmentStatusText(entries[0].status));
}

SegmentOutcome SegmentRip::outcome() const {
    if (running())
        return SegmentOutcome::Running;
    switch (runner_.outcome()) {
        case JobOutcome::Canceled:
            return SegmentOutcome::Canceled;
        case JobOutcome::Failed:
            return SegmentOutcome::Failed;
        case JobOutcome::Finished:
            break;
    }
    const auto entries = runner_.entries();
    // A format outside the list makes nothing and still finishes, as the dialog would.
    return entries.empty() || entries[0].complete || entries[0].status == RowStatus::Waiting
               ? SegmentOutcome::Finished
               : SegmentOutcome::Failed;
}

EntryResult SegmentRip::rip(EntryWork& work, std::uint32_t startFrame, std::uint32_t frameCount) {
    if (!isOutputFormat(options_.format))
        return EntryResult::Skipped;  // no format to make
    const auto format = static_cast<OutputFormat>(options_.format);
    const fs::path& output = options_.output;
    const CancelToken& cancel = work.cancel();
    JobPrompter prompter(prompter_, cancel);
    Extractor extractor(engine_, options_.cdrom, prompter, cancel);
    ProgressSink* extracting = &work.progress(RowActivity::Extracting);
    // An extraction error stops the segment like a cancel: the dialog does not set the cancel
    // flag for it, so the extractor's result decides.
    const auto stopped = [](ExtractionResult result) {
        return result == ExtractionResult::Failed ? EntryResult::Failed : EntryResult::Stopped;
    };

    work.setStatus(RowStatus::Extracting);
    std::string error;
    if (format == OutputFormat::Wav) {
        const fs::path wav = replaceLastFourCharacters(output.string(), ".wav");
        std::optional<PartialFile> partial = PartialFile::create(wav, error);
        if (!partial) {
            prompter.tell(error, PromptIcon::Error);
            return EntryResult::Failed;
        }
        const ExtractionResult extracted =
            extractor.extract(handle_, startFrame, frameCount, partial->path(), extracting, wav);
        if (extracted != ExtractionResult::Completed || cancel.stopRequested())
            return stopped(extracted);  // the partial file goes with `partial`
        if (!partial->commit(error)) {
            prompter.tell(error, PromptIcon::Error);
            return EntryResult::Failed;
        }
        work.setStatus(RowStatus::Extracted);
        work.setStatus(RowStatus::Encoded);
        return EntryResult::Complete;
    }

    // The MP3 encoder names its file like the output with its last four characters replaced.
    const fs::path encoded = format == OutputFormat::Mp3
                                 ? fs::path(replaceLastFourCharacters(output.string(), ".mp3"))
                                 : output;
    // A name that cannot be written stops the rip at once, before the disc is read.
    if (!PartialFile::create(encoded, error)) {
        prompter.tell(error, PromptIcon::Error);
        return EntryResult::Failed;
    }
    const fs::path tempFolder = jobTempFolder(options_.tempFolder);
    std::error_code ignored;
    fs::create_directory(tempFolder, ignored);
    std::optional<TempFile> temp = TempFile::create(
        tempFolder, replaceLastFourCharacters(output.filename().string(), ""), ".tmp", error);
    if (!temp) {
        prompter.tell(error, PromptIcon::Error);
        return EntryResult::Failed;
    }
    const ExtractionResult extracted =
        extractor.extract(handle_, startFrame, frameCount, temp->path(), extracting);
    if (extracted != ExtractionResult::Completed || cancel.stopRequested())
        return stopped(extracted);
    work.setStatus(RowStatus::Extracted);

    work.setStatus(RowStatus::Encoding);
    FileEncoders encoders(registry_, prompter, options_.ogg, options_.wma);
    const EncodeOutcome outcome = encoders.encodeToFile(
        format, temp->path(), encoded, nullptr, &work.progress(RowActivity::Encoding), cancel);
    temp->remove();
    return finishEncodedEntry(work, outcome);
}

}  // namespace tonalda
