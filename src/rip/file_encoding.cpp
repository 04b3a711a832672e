#include "rip/file_encoding.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "codecs/encoder_common.h"
#include "codecs/ogg_encoder.h"
#include "codecs/stdio_file.h"
#include "codecs/wma_encoder.h"
#include "codecs/wma_settings.h"
#include "platform/cancel_flag.h"
#include "platform/prompter.h"
#include "rip/tag_info.h"

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

EncodeOutcome encodeOggFile(OggEncoder& encoder, const fs::path& input, const fs::path& output,
                            const TagInfo* tags, MessageSink* notify, Prompter& prompter) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter);
    if (!in || refuseSameFile(input, output, prompter))
        return EncodeOutcome::Failed;
    UniqueFile out = openReported(output, "wb", "Cannot create the output file ", prompter);
    if (!out)
        return EncodeOutcome::Failed;
    std::fseek(in.get(), kCanonicalWavHeaderBytes, SEEK_SET);

    const bool begun = encoder.beginStream(out.get(), tags);
    if (begun)
        encoder.encodeStream(in.get(), out.get(), notify);
    const int writeError = encoder.writeError();
    encoder.endStream();
    in.reset();
    const bool closed = closeChecked(out);
    const int closeError = errno;

    if (cancelFlag().load()) {
        removeQuietly(output);
        return EncodeOutcome::Cancelled;
    }
    if (!begun) {
        // Nothing was written: an empty file would look like a finished conversion.
        prompter.tell(
            "The Ogg Vorbis encoder refused its settings; " + output.string() + " was not written.",
            PromptIcon::Error);
        removeQuietly(output);
        return EncodeOutcome::Failed;
    }
    if (writeError != 0 || !closed) {
        prompter.tell(
            outputWriteErrorText(output.string(),
                                 std::strerror(writeError != 0 ? writeError : closeError)),
            PromptIcon::Error);
        removeQuietly(output);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

EncodeOutcome encodeWmaFile(WmaEncoder& encoder, const WmaSettings& settings, const fs::path& input,
                            const fs::path& output, const TagInfo* tags, MessageSink* notify,
                            Prompter& prompter) {
    UniqueFile in = openReported(input, "rb", "Cannot open the input file ", prompter);
    if (!in || refuseSameFile(input, output, prompter))
        return EncodeOutcome::Failed;
    std::uint32_t chunkSize = 0;
    if (encoder.openWriter(output, settings.bitrate(), settings.sampleRate(), settings.channels(),
                           chunkSize) < 0 ||
        !encoder.hasWriter())
        return EncodeOutcome::Failed;  // the encoder has shown why

    if (tags)
        encoder.setAttributes(settings, *tags);
    else if (settings.DRM == 1)
        encoder.enableDrm();
    encoder.writeWavData(in.get(), notify);
    in.reset();
    const std::int32_t failure = encoder.writeFailure();
    const std::int32_t flushed = failure == 0 ? encoder.closeWriter() : failure;
    if (cancelFlag().load() || flushed != 0) {
        encoder.abandonWriter();
        removeQuietly(output);
    }
    if (cancelFlag().load())
        return EncodeOutcome::Cancelled;
    if (flushed != 0) {
        prompter.tell(outputWriteErrorText(output.string(), WmaEncoder::failureText(flushed)),
                      PromptIcon::Error);
        return EncodeOutcome::Failed;
    }
    return EncodeOutcome::Done;
}

}  // namespace tonalda
