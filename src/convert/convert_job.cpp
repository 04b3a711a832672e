#include "convert/convert_job.h"

#include <optional>
#include <system_error>

#include "cdinfo/misc_settings.h"
#include "codecs/file_encoding.h"
#include "codecs/output_name.h"
#include "codecs/output_settings.h"
#include "codecs/wav_layout.h"
#include "convert/convert_list.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"

namespace fs = std::filesystem;

namespace tonalda {

ConvertOptions currentConvertOptions() {
    ConvertOptions options;
    options.encodeFolder = outputSettings().encodeFolder;
    options.tempFolder = miscSettings().tempPath;
    options.ogg = oggSettings();
    options.wma = wmaSettings();
    return options;
}

fs::path convertOutputPath(const fs::path& encodeFolder, const std::string& source,
                           OutputFormat format) {
    const fs::path base = encodeFolder / fs::path(source).filename();
    return replaceLastFourCharacters(base.string(),
                                     outputFormatExtension(static_cast<std::int32_t>(format)));
}

ConvertJob::ConvertJob(Registry& registry, Prompter& prompter, JobEventQueue& events)
    : registry_(registry), prompter_(prompter), runner_(events) {}

bool ConvertJob::start(ConvertList& list, OutputFormat format, const ConvertOptions& options) {
    if (running() || list.rowCount() == 0 || format == OutputFormat::Wav)
        return false;
    std::vector<ConvertEntry> queue;
    for (int index = 0; index < list.rowCount(); ++index) {
        ConvertItem& row = list.row(index);
        queue.push_back({row.path, *row.tag, RowStatus::Waiting, {}});
        row.status = statusText(RowStatus::Waiting);
    }
    return startQueue(std::move(queue), format, options);
}

bool ConvertJob::start(const std::vector<std::string>& sources, OutputFormat format,
                       const ConvertOptions& options) {
    std::vector<ConvertEntry> queue;
    for (const std::string& source : sources)
        queue.push_back({source, TagInfo{}, RowStatus::Waiting, {}});
    return startQueue(std::move(queue), format, options);
}

bool ConvertJob::startQueue(std::vector<ConvertEntry> queue, OutputFormat format,
                            const ConvertOptions& options) {
    if (running() || queue.empty() || !isOutputFormat(static_cast<std::int32_t>(format)) ||
        format == OutputFormat::Wav)
        return false;
    std::vector<int> rows;
    for (ConvertEntry& entry : queue) {
        entry.status = RowStatus::Waiting;
        entry.output = convertOutputPath(options.encodeFolder, entry.source, format);
        rows.push_back(static_cast<int>(rows.size()));
    }
    queue_ = std::move(queue);
    format_ = format;
    options_ = options;
    std::error_code ignored;
    if (!options_.encodeFolder.empty())
        fs::create_directory(options_.encodeFolder, ignored);  // one level; failures show later
    return runner_.start(std::move(rows), [this] {
        JobPrompter prompter(prompter_, runner_.cancel());
        FileEncoders encoders(registry_, prompter, options_.ogg, options_.wma);
        return runner_.runEntries([&](EntryWork& work, std::size_t index) {
            return convertEntry(work, queue_[index], encoders, prompter);
        });
    });
}

std::vector<ConvertEntry> ConvertJob::entries() const {
    const std::vector<RunnerEntry> states = runner_.entries();
    std::vector<ConvertEntry> result = queue_;
    for (std::size_t index = 0; index < result.size() && index < states.size(); ++index)
        result[index].status = states[index].status;
    return result;
}

namespace {

// The file the encoders read for a source: the source itself, or a canonical copy of its audio
// in the temporary folder, private to the job and removed with `copy`. Empty, the user told why,
// when the source is not CD audio.
fs::path encoderInput(const std::string& source, const fs::path& tempFolder,
                      std::optional<TempFile>& copy, Prompter& prompter) {
    std::string error;
    const auto layout = readWavLayout(source, error);
    if (layout && layout->isCanonical())
        return source;
    if (!layout || !layout->isCdAudio()) {
        prompter.tell(source + "\nis not a 44.1 kHz 16-bit stereo WAV file" +
                          (error.empty() ? "." : " (" + error + ")."),
                      PromptIcon::Error);
        return {};
    }
    const fs::path folder = jobTempFolder(tempFolder);
    std::error_code ignored;
    fs::create_directory(folder, ignored);
    copy = TempFile::create(folder, fs::path(source).filename().string(), ".tmp", error);
    if (!copy) {
        prompter.tell(error, PromptIcon::Error);
        return {};
    }
    if (!writeCanonicalCopy(source, *layout, copy->path(), error)) {
        prompter.tell("Cannot create file: " + copy->path().string() + " (" + error + ")",
                      PromptIcon::Error);
        copy.reset();
        return {};
    }
    return copy->path();
}

}  // namespace

EntryResult ConvertJob::convertEntry(EntryWork& work, const ConvertEntry& entry,
                                     FileEncoders& encoders, Prompter& prompter) {
    work.setStatus(RowStatus::Encoding);
    std::optional<TempFile> copy;
    const fs::path input = encoderInput(entry.source, options_.tempFolder, copy, prompter);
    if (input.empty())
        return EntryResult::Incomplete;  // not CD audio: reported, nothing encoded
    const EncodeOutcome outcome =
        encoders.encodeToFile(format_, input, entry.output, &entry.tag,
                              &work.progress(RowActivity::Encoding), work.cancel());
    if (outcome == EncodeOutcome::Cancelled || work.stopRequested()) {
        removeQuietly(entry.output);
        return EntryResult::Stopped;
    }
    // An encoder failure has been reported; the job goes on with the next file.
    if (outcome != EncodeOutcome::Done)
        return EntryResult::Incomplete;
    work.setStatus(RowStatus::Encoded);
    return EntryResult::Complete;
}

}  // namespace tonalda
