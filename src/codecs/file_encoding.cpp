#include "codecs/file_encoding.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "codecs/encoder_common.h"
#include "codecs/id3_writer.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "codecs/wma_settings.h"
#include "platform/cancel_token.h"
#include "platform/partial_file.h"
#include "platform/prompter.h"

namespace fs = std::filesystem;

namespace tonalda {
namespace {

UniqueFile openReported(const fs::path& file, const char* mode, const char* what,
                        Prompter& prompter) {
    UniqueFile opened = openFile(file, mode);
    if (!opened)
        prompter.tell(std::string(what) + file.string() + ": " + std::strerror(errno),
                      PromptIcon::Error);
    return opened;
}

}  // namespace

void removeQuietly(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

FileEncoders::FileEncoders(Registry& registry, Prompter& prompter, const OggSettings& ogg,
                           const WmaSettings& wma)
    : prompter_(prompter),
      wmaSettings_(wma),
      mp3_(registry, prompter),
      ogg_(ogg),
      wma_(registry, prompter) {}

EncodeOutcome FileEncoders::encodeToFile(OutputFormat format, const fs::path& input,
                                         const fs::path& output, const TagInfo* tags,
                                         ProgressSink* progress, const CancelToken& cancel) {
    if (format != OutputFormat::Mp3 && format != OutputFormat::Ogg && format != OutputFormat::Wma)
        return EncodeOutcome::Failed;  // a WAV file is extracted, not encoded
    // The finished file would replace its own input.
    std::error_code same;
    if (fs::equivalent(input, output, same)) {
        prompter_.tell("The output file is the input file: " + output.string(), PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    std::string error;
    std::optional<PartialFile> partial = PartialFile::create(output, error);
    if (!partial) {
        prompter_.tell(error, PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    const EncodeTarget target{partial->path(), output};
    EncodeOutcome outcome = EncodeOutcome::Failed;
    switch (format) {
        case OutputFormat::Mp3:
            outcome = encodeMp3(input, target, tags, progress, cancel);
            break;
        case OutputFormat::Ogg:
            outcome = encodeOgg(input, target, tags, progress, cancel);
            break;
        case OutputFormat::Wma:
            outcome = encodeWma(input, target, tags, progress, cancel);
            break;
        case OutputFormat::Wav:
            break;
    }
    if (cancel.stopRequested())
        return EncodeOutcome::Cancelled;  // the partial file goes with `partial`
    if (outcome != EncodeOutcome::Done)
        return outcome;
    if (!partial->commit(error)) {
        prompter_.tell(error, PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EncodeOutcome FileEncoders::encodeMp3(const fs::path& input, const EncodeTarget& target,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    if (!mp3Loaded_) {
        mp3_.loadEncoder();  // reads the MP3 settings afresh for this job
        mp3Loaded_ = true;
    }
    if (!mp3_.encode(input, target.file, progress, cancel, target.shownAs))
        return cancel.stopRequested() ? EncodeOutcome::Cancelled : EncodeOutcome::Failed;
    // A tag that cannot be written leaves a file without the text the user gave it.
    if (tags && !writeId3Tag(*tags, target.file)) {
        prompter_.tell(outputWriteErrorText(target.shownAs.string(), "the ID3 tag was not written"),
                       PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EncodeOutcome FileEncoders::encodeOgg(const fs::path& input, const EncodeTarget& target,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter_);
    if (!in)
        return EncodeOutcome::Failed;
    UniqueFile out = openFile(target.file, "wb");
    if (!out) {
        prompter_.tell("Cannot create the output file " + target.shownAs.string() + ": " +
                           std::strerror(errno),
                       PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    std::fseek(in.get(), kCanonicalWavHeaderBytes, SEEK_SET);

    const bool begun = ogg_.beginStream(out.get(), tags);
    if (begun)
        ogg_.encodeStream(in.get(), out.get(), progress, cancel);
    const int writeError = ogg_.writeError();
    ogg_.endStream();
    in.reset();
    const bool closed = closeChecked(out);
    const int closeError = errno;

    if (cancel.stopRequested())
        return EncodeOutcome::Cancelled;
    if (!begun) {
        // Nothing was written: an empty file would look like a finished conversion.
        prompter_.tell("The Ogg Vorbis encoder refused its settings; " + target.shownAs.string() +
                           " was not written.",
                       PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    if (writeError != 0 || !closed) {
        prompter_.tell(
            outputWriteErrorText(target.shownAs.string(),
                                 std::strerror(writeError != 0 ? writeError : closeError)),
            PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EncodeOutcome FileEncoders::encodeWma(const fs::path& input, const EncodeTarget& target,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter_);
    if (!in)
        return EncodeOutcome::Failed;
    std::uint32_t chunkSize = 0;
    const WmaSettings& settings = wmaSettings_;
    if (wma_.openWriter(target.file, settings.bitrate(), settings.sampleRate(), settings.channels(),
                        chunkSize) < 0 ||
        !wma_.hasWriter())
        return EncodeOutcome::Failed;  // the encoder has shown why

    if (tags)
        wma_.setAttributes(settings, *tags);
    else if (settings.DRM == 1)
        wma_.enableDrm();
    wma_.writeWavData(in.get(), progress, cancel);
    in.reset();
    const std::int32_t failure = wma_.writeFailure();
    const std::int32_t flushed = failure == 0 ? wma_.closeWriter() : failure;
    if (cancel.stopRequested() || flushed != 0)
        wma_.abandonWriter();
    if (cancel.stopRequested())
        return EncodeOutcome::Cancelled;
    if (flushed != 0) {
        prompter_.tell(
            outputWriteErrorText(target.shownAs.string(), WmaEncoder::failureText(flushed)),
            PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EntryResult finishEncodedEntry(EntryWork& work, EncodeOutcome outcome) {
    if (outcome == EncodeOutcome::Cancelled)
        return EntryResult::Stopped;
    if (outcome != EncodeOutcome::Done)
        return EntryResult::Incomplete;
    work.setStatus(RowStatus::Encoded);
    return EntryResult::Complete;
}

}  // namespace tonalda
