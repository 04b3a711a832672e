#include "rip/segment_rip.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "codecs/extractor.h"
#include "codecs/file_encoding.h"
#include "codecs/mp3_encoder.h"
#include "codecs/ogg_encoder.h"
#include "codecs/output_format.h"
#include "codecs/output_name.h"
#include "codecs/wma_encoder.h"
#include "platform/cancel_flag.h"
#include "platform/file.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"

namespace fs = std::filesystem;

namespace tonalda {

fs::path defaultSegmentOutput(const fs::path& ripFolder, std::int32_t format) {
    return ripFolder / ("Untitled" + std::string(outputFormatExtension(format)));
}

SegmentRip::SegmentRip(CdEngine& engine, Registry& registry, MessageSink& dialog,
                       Prompter& prompter)
    : engine_(engine), registry_(registry), dialog_(dialog), prompter_(prompter) {}

bool SegmentRip::start(int sessionHandle, std::uint32_t startFrame, std::uint32_t endFrame,
                       const SegmentRipOptions& options) {
    if (running() || endFrame <= startFrame)
        return false;
    options_ = options;
    cancelFlag() = 0;
    setStatus({});
    outcome_ = SegmentOutcome::Running;
    return thread_.start([this, sessionHandle, startFrame, endFrame] {
        run(sessionHandle, startFrame, endFrame - startFrame);
    });
}

void SegmentRip::cancel() {
    cancelFlag() = 1;
    setStatus(kSegmentCanceled);
}

std::string SegmentRip::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void SegmentRip::setStatus(std::string_view status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

LParam SegmentRip::Relay::send(UserMessage message, WParam wParam, LParam lParam) {
    switch (message) {
        case UM_EXTRACT_BEGIN:
            rip_.setStatus(kSegmentExtracting);
            break;
        case UM_EXTRACT_DONE:
            rip_.setStatus(kSegmentExtracted);
            break;
        case UM_ENCODE_BEGIN:
        case UM_ENCODE_PROGRESS:
            rip_.setStatus(kSegmentEncoding);
            break;
        case UM_ENCODE_DONE:
            rip_.setStatus(rip_.outcome_.load() == SegmentOutcome::Failed ? kSegmentError
                                                                          : kSegmentFinished);
            break;
        default:
            break;
    }
    return rip_.dialog_.send(message, wParam, lParam);
}

void SegmentRip::run(int handle, std::uint32_t startFrame, std::uint32_t frameCount) {
    const SegmentOutcome outcome = rip(handle, startFrame, frameCount);
    if (outcome == SegmentOutcome::Canceled)
        setStatus(kSegmentCanceled);
    else if (outcome == SegmentOutcome::Failed)
        setStatus(kSegmentError);
    outcome_ = outcome;
}

SegmentOutcome SegmentRip::rip(int handle, std::uint32_t startFrame, std::uint32_t frameCount) {
    if (!isOutputFormat(options_.format))
        return SegmentOutcome::Finished;  // no format to make
    const auto format = static_cast<OutputFormat>(options_.format);
    const fs::path& output = options_.output;
    const fs::path tempFolder = jobTempFolder(options_.tempFolder);
    Extractor extractor(engine_, options_.cdrom, relay_, prompter_);

    // An extraction error stops the segment like a cancel: the dialog does not set the cancel
    // flag for it, so the extractor's result decides.
    const auto stopped = [](ExtractionResult result) {
        if (result == ExtractionResult::Failed)
            return SegmentOutcome::Failed;
        return cancelFlag().load() ? SegmentOutcome::Canceled : SegmentOutcome::Running;
    };
    // A failed segment still ends with the done message, so the dialog leaves its busy state.
    const auto fail = [this] {
        outcome_ = SegmentOutcome::Failed;
        relay_.send(UM_ENCODE_DONE, 0, 0);
        return SegmentOutcome::Failed;
    };

    std::error_code ignored;
    if (format == OutputFormat::Wav) {
        relay_.send(UM_EXTRACT_BEGIN, 0, 0);
        const fs::path base = replaceLastFourCharacters(output.string(), "");
        fs::create_directory(tempFolder, ignored);
        const SegmentOutcome result =
            stopped(extractor.extractToWav(handle, startFrame, frameCount, base));
        if (result != SegmentOutcome::Running) {
            removeQuietly(withExtension(base, ".wav"));
            return result == SegmentOutcome::Failed ? fail() : result;
        }
        relay_.send(UM_EXTRACT_DONE, 0, 0);
        relay_.send(UM_ENCODE_DONE, 0, 0);
        return SegmentOutcome::Finished;
    }

    relay_.send(UM_EXTRACT_BEGIN, 0, 0);
    // The output is made first, so that a name that cannot be written stops the rip at once.
    if (!openFile(output, "wb")) {
        prompter_.tell(
            "Cannot create the output file " + output.string() + ": " + std::strerror(errno),
            PromptIcon::Error);
        return fail();
    }
    const fs::path tempBase =
        tempFolder / replaceLastFourCharacters(output.filename().string(), "");
    const fs::path temp = withExtension(tempBase, ".tmp");
    fs::create_directory(tempFolder, ignored);
    const SegmentOutcome extracted =
        stopped(extractor.extractToTemp(handle, startFrame, frameCount, tempBase));
    if (extracted != SegmentOutcome::Running) {
        removeQuietly(temp);
        removeQuietly(output);  // still empty: nothing of the segment reached it
        return extracted == SegmentOutcome::Failed ? fail() : extracted;
    }
    relay_.send(UM_EXTRACT_DONE, 0, 0);

    EncodeOutcome encoded = EncodeOutcome::Failed;
    if (format == OutputFormat::Mp3) {
        relay_.send(UM_ENCODE_BEGIN, 0, 0);
        Mp3Encoder mp3(registry_, prompter_);
        mp3.loadEncoder();
        if (mp3.encodeFileTo(temp, output.string(), &relay_))
            encoded = EncodeOutcome::Done;
        else if (cancelFlag().load())
            encoded = EncodeOutcome::Cancelled;
    } else if (format == OutputFormat::Wma) {
        WmaEncoder wma(registry_, prompter_);
        encoded = encodeWmaFile(wma, options_.wma, temp, output, nullptr, &relay_, prompter_);
    } else {
        OggEncoder ogg(options_.ogg);
        encoded = encodeOggFile(ogg, temp, output, nullptr, &relay_, prompter_);
    }
    removeQuietly(temp);
    if (encoded == EncodeOutcome::Cancelled || cancelFlag().load()) {
        removeQuietly(output);
        if (format == OutputFormat::Mp3)
            removeQuietly(replaceLastFourCharacters(output.string(), ".mp3"));
        return SegmentOutcome::Canceled;
    }
    if (encoded == EncodeOutcome::Failed)
        return fail();
    relay_.send(UM_ENCODE_DONE, 0, 0);
    return SegmentOutcome::Finished;
}

}  // namespace tonalda
