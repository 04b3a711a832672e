#include "codecs/file_encoding.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "codecs/encoder_common.h"
#include "codecs/id3_writer.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "codecs/wma_settings.h"
#include "platform/cancel_token.h"
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

// Creating the output would truncate the input when both name the same file.
bool refuseSameFile(const fs::path& input, const fs::path& output, Prompter& prompter) {
    std::error_code error;
    if (!fs::equivalent(input, output, error))
        return false;
    prompter.tell("The output file is the input file: " + output.string(), PromptIcon::Error);
    return true;
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
    switch (format) {
        case OutputFormat::Mp3:
            return encodeMp3(input, output, tags, progress, cancel);
        case OutputFormat::Ogg:
            return encodeOgg(input, output, tags, progress, cancel);
        case OutputFormat::Wma:
            return encodeWma(input, output, tags, progress, cancel);
        case OutputFormat::Wav:
            break;
    }
    return EncodeOutcome::Failed;  // a WAV file is extracted, not encoded
}

EncodeOutcome FileEncoders::encodeMp3(const fs::path& input, const fs::path& output,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    if (!mp3Loaded_) {
        mp3_.loadEncoder();  // reads the MP3 settings afresh for this job
        mp3Loaded_ = true;
    }
    // The encoder removes its output itself when it stops early.
    if (!mp3_.encode(input, output, progress, cancel))
        return cancel.stopRequested() ? EncodeOutcome::Cancelled : EncodeOutcome::Failed;
    if (tags)
        writeId3Tag(*tags, output);
    return EncodeOutcome::Done;
}

EncodeOutcome FileEncoders::encodeOgg(const fs::path& input, const fs::path& output,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter_);
    if (!in || refuseSameFile(input, output, prompter_))
        return EncodeOutcome::Failed;
    UniqueFile out = openReported(output, "wb", "Cannot create the output file ", prompter_);
    if (!out)
        return EncodeOutcome::Failed;
    std::fseek(in.get(), kCanonicalWavHeaderBytes, SEEK_SET);

    const bool begun = ogg_.beginStream(out.get(), tags);
    if (begun)
        ogg_.encodeStream(in.get(), out.get(), progress, cancel);
    const int writeError = ogg_.writeError();
    ogg_.endStream();
    in.reset();
    const bool closed = closeChecked(out);
    const int closeError = errno;

    if (cancel.stopRequested()) {
        removeQuietly(output);
        return EncodeOutcome::Cancelled;
    }
    if (!begun) {
        // Nothing was written: an empty file would look like a finished conversion.
        prompter_.tell(
            "The Ogg Vorbis encoder refused its settings; " + output.string() + " was not written.",
            PromptIcon::Error);
        removeQuietly(output);
        return EncodeOutcome::Failed;
    }
    if (writeError != 0 || !closed) {
        prompter_.tell(outputWriteErrorText(output.string(), std::strerror(writeError != 0
                                                                               ? writeError
                                                                               : closeError)),
                       PromptIcon::Error);
        removeQuietly(output);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EncodeOutcome FileEncoders::encodeWma(const fs::path& input, const fs::path& output,
                                      const TagInfo* tags, ProgressSink* progress,
                                      const CancelToken& cancel) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter_);
    if (!in || refuseSameFile(input, output, prompter_))
        return EncodeOutcome::Failed;
    std::uint32_t chunkSize = 0;
    const WmaSettings& settings = wmaSettings_;
    if (wma_.openWriter(output, settings.bitrate(), settings.sampleRate(), settings.channels(),
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
    if (cancel.stopRequested() || flushed != 0) {
        wma_.abandonWriter();
        removeQuietly(output);
    }
    if (cancel.stopRequested())
        return EncodeOutcome::Cancelled;
    if (flushed != 0) {
        prompter_.tell(outputWriteErrorText(output.string(), WmaEncoder::failureText(flushed)),
                       PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

}  // namespace tonalda
