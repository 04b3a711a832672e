#include "convert/convert_job.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>

#include "cdinfo/misc_settings.h"
#include "codecs/file_encoding.h"
#include "codecs/output_settings.h"
#include "codecs/wav_layout.h"
#include "convert/convert_list.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"
#include "platform/worker_pool.h"
#include "rip/output_naming.h"

namespace fs = std::filesystem;

namespace tonalda {

ConvertOptions currentConvertOptions() {
    ConvertOptions options;
    options.encodeFolder = outputSettings().encodeFolder;
    options.tempFolder = miscSettings().tempPath;
    options.workers = availableCores();
    options.ogg = oggSettings();
    options.wma = wmaSettings();
    return options;
}

namespace {

// The source's file name without its extension: "Song" of "/music/Song.wav", "ab" of "ab".
std::string sourceStem(const std::string& source) {
    return fs::path(source).filename().stem().string();
}

}  // namespace

fs::path convertOutputPath(const fs::path& encodeFolder, const std::string& source,
                           OutputFormat format) {
    return outputFilePath(encodeFolder, sourceStem(source),
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
    std::vector<std::string> stems;
    for (const ConvertEntry& entry : queue)
        stems.push_back(sourceStem(entry.source));
    // Sources of one name from different folders get distinct outputs ("song.ogg",
    // "song (2).ogg") instead of replacing each other.
    const std::vector<std::string> endings =
        distinctOutputEndings(stems, outputFormatExtension(static_cast<std::int32_t>(format)));
    for (std::size_t index = 0; index < queue.size(); ++index) {
        ConvertEntry& entry = queue[index];
        entry.status = RowStatus::Waiting;
        entry.output = outputFilePath(options.encodeFolder, stems[index], endings[index]);
        rows.push_back(static_cast<int>(index));
    }
    queue_ = std::move(queue);
    format_ = format;
    options_ = options;
    std::error_code ignored;
    if (!options_.encodeFolder.empty())
        fs::create_directory(options_.encodeFolder, ignored);  // one level; failures show later
    return runner_.start(std::move(rows), [this] {
        JobPrompter prompter(prompter_, runner_.cancel());
        const int workers = std::max(options_.workers, 1);
        // One set of encoders per worker, made on its thread when it first encodes.
        std::vector<std::unique_ptr<FileEncoders>> encoders(static_cast<std::size_t>(workers));
        StagedWork staged;
        // Nothing is read on the job's thread: each file waits there for a free worker.
        staged.first = [](EntryWork&, std::size_t) { return EntryResult::Handed; };
        staged.second = [&](EntryWork& work, std::size_t index) {
            auto& made = encoders[static_cast<std::size_t>(work.worker())];
            if (!made)
                made =
                    std::make_unique<FileEncoders>(registry_, prompter, options_.ogg, options_.wma);
            return convertEntry(work, queue_[index], *made, prompter);
        };
        staged.workers = workers;
        staged.inFlight = workers;
        return runner_.runStaged(staged);
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
    if (work.stopRequested())
        return EntryResult::Stopped;
    work.setStatus(RowStatus::Encoding);
    std::optional<TempFile> copy;
    const fs::path input = encoderInput(entry.source, options_.tempFolder, copy, prompter);
    if (input.empty())
        return EntryResult::Incomplete;  // not CD audio: reported, nothing encoded
    const EncodeOutcome outcome =
        encoders.encodeToFile(format_, input, entry.output, &entry.tag,
                              &work.progress(RowActivity::Encoding), work.cancel());
    return finishEncodedEntry(work, outcome);  // after a failure, the next file
}

}  // namespace tonalda
