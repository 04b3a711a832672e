#include "convert/convert_job.h"

#include <system_error>

#include "cdinfo/misc_settings.h"
#include "codecs/file_encoding.h"
#include "codecs/id3_writer.h"
#include "codecs/mp3_encoder.h"
#include "codecs/ogg_encoder.h"
#include "codecs/output_name.h"
#include "codecs/output_settings.h"
#include "codecs/wav_layout.h"
#include "codecs/wma_encoder.h"
#include "convert/convert_list.h"
#include "platform/cancel_flag.h"
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

ConvertJob::ConvertJob(Registry& registry, MessageSink& view, Prompter& prompter)
    : registry_(registry), view_(view), prompter_(prompter) {}

bool ConvertJob::start(ConvertList& list, OutputFormat format, const ConvertOptions& options) {
    if (running() || list.rowCount() == 0 || format == OutputFormat::Wav)
        return false;
    std::vector<ConvertEntry> queue;
    for (int index = 0; index < list.rowCount(); ++index) {
        ConvertItem& row = list.row(index);
        queue.push_back({row.path, *row.tag, {}, {}});
        row.status = kConvertWaiting;
    }
    return startQueue(std::move(queue), format, options);
}

bool ConvertJob::start(const std::vector<std::string>& sources, OutputFormat format,
                       const ConvertOptions& options) {
    std::vector<ConvertEntry> queue;
    for (const std::string& source : sources)
        queue.push_back({source, TagInfo{}, {}, {}});
    return startQueue(std::move(queue), format, options);
}

bool ConvertJob::startQueue(std::vector<ConvertEntry> queue, OutputFormat format,
                            const ConvertOptions& options) {
    if (running() || queue.empty() || !isOutputFormat(static_cast<std::int32_t>(format)) ||
        format == OutputFormat::Wav)
        return false;
    for (ConvertEntry& entry : queue) {
        entry.status = kConvertWaiting;
        entry.output = convertOutputPath(options.encodeFolder, entry.source, format);
    }
    {
        std::lock_guard lock(mutex_);
        entries_ = std::move(queue);
    }
    format_ = format;
    options_ = options;
    cancelFlag() = 0;
    currentRow_ = -1;
    std::error_code ignored;
    if (!options_.encodeFolder.empty())
        fs::create_directory(options_.encodeFolder, ignored);  // one level; failures show later
    return thread_.start([this] { run(); });
}

void ConvertJob::cancel() {
    cancelFlag() = 1;
}

std::vector<ConvertEntry> ConvertJob::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

bool ConvertJob::succeeded() const {
    if (running())
        return false;
    std::lock_guard lock(mutex_);
    for (const ConvertEntry& entry : entries_)
        if (entry.status != kConvertEncoded)
            return false;
    return !entries_.empty();
}

// What the convert view does with each message, kept here so that every view shows the same.
void ConvertJob::observe(UserMessage message) {
    const auto row = static_cast<std::size_t>(currentRow_.load());
    std::lock_guard lock(mutex_);
    if (row >= entries_.size())
        return;
    if (message == UM_ENCODE_BEGIN) {
        entries_[row].status = kConvertEncoding;
    } else if (message == UM_ENCODE_DONE) {
        if (cancelFlag().load()) {
            for (std::size_t later = row; later < entries_.size(); ++later)
                entries_[later].status = kConvertCanceled;
        } else {
            entries_[row].status = entryFailed_ ? kConvertError : kConvertEncoded;
        }
    }
}

LParam ConvertJob::Relay::send(UserMessage message, WParam wParam, LParam lParam) {
    job_.observe(message);
    return job_.view_.send(message, wParam, lParam);
}

fs::path ConvertJob::encoderInput(const std::string& source, fs::path& copy) {
    std::string error;
    const auto layout = readWavLayout(source, error);
    if (layout && layout->isCanonical())
        return source;
    if (!layout || !layout->isCdAudio()) {
        prompter_.tell(source + "\nis not a 44.1 kHz 16-bit stereo WAV file" +
                           (error.empty() ? "." : " (" + error + ")."),
                       PromptIcon::Error);
        return {};
    }
    const fs::path folder = jobTempFolder(options_.tempFolder);
    std::error_code ignored;
    fs::create_directory(folder, ignored);
    copy = folder / (fs::path(source).filename().string() + ".tmp");
    if (!writeCanonicalCopy(source, *layout, copy, error)) {
        prompter_.tell("Cannot create file: " + copy.string() + " (" + error + ")",
                       PromptIcon::Error);
        removeQuietly(copy);
        copy.clear();
        return {};
    }
    return copy;
}

void ConvertJob::run() {
    {
        Mp3Encoder mp3(registry_, prompter_);
        OggEncoder ogg(options_.ogg);
        WmaEncoder wma(registry_, prompter_);
        if (format_ == OutputFormat::Mp3)
            mp3.loadEncoder();  // once per job: it reads the MP3 settings afresh

        const std::vector<ConvertEntry> queue = entries();
        for (std::size_t index = 0; index < queue.size(); ++index) {
            const ConvertEntry& entry = queue[index];
            currentRow_ = static_cast<std::int32_t>(index);
            relay_.send(UM_ENCODE_BEGIN, 0, 0);

            EncodeOutcome outcome = EncodeOutcome::Failed;
            fs::path copy;
            const fs::path input = encoderInput(entry.source, copy);
            if (input.empty()) {
                // Not CD audio: reported, nothing encoded.
            } else if (format_ == OutputFormat::Mp3) {
                const fs::path base = options_.encodeFolder / fs::path(entry.source).filename();
                if (mp3.encodeFileTo(input.string(), base.string(), &relay_)) {
                    outcome = EncodeOutcome::Done;
                    writeId3Tag(entry.tag, entry.output);
                } else if (cancelFlag().load()) {
                    outcome = EncodeOutcome::Cancelled;
                }
            } else if (format_ == OutputFormat::Wma) {
                outcome = encodeWmaFile(wma, options_.wma, input.string(), entry.output, &entry.tag,
                                        &relay_, prompter_);
            } else {
                outcome = encodeOggFile(ogg, input.string(), entry.output, &entry.tag, &relay_,
                                        prompter_);
            }
            if (!copy.empty())
                removeQuietly(copy);
            if (cancelFlag().load())
                removeQuietly(entry.output);
            // An encoder failure has been reported; the job goes on with the next file.
            entryFailed_ = outcome != EncodeOutcome::Done;
            relay_.send(UM_ENCODE_DONE, 0, 0);
            if (cancelFlag().load())
                break;
        }
    }
    relay_.send(UM_CONVERT_END, 0, 0);
}

}  // namespace tonalda
