#include "codecs/file_encoding.h"

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
#include "codecs/tag_info.h"

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
    encoder.endStream();
    in.reset();
    const bool written = closeChecked(out);

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
    if (!written) {
        prompter.tell(
            "Cannot write the output file " + output.string() + ": " + std::strerror(errno),
            PromptIcon::Error);
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
    const bool flushed = encoder.closeWriter() == 0;
    if (cancelFlag().load()) {
        removeQuietly(output);
        return EncodeOutcome::Cancelled;
    }
    return flushed ? EncodeOutcome::Done : EncodeOutcome::Failed;
}

}  // namespace tonalda
