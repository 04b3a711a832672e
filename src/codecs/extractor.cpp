#include "codecs/extractor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdaccess/jitter.h"
#include "codecs/wav_writer.h"
#include "platform/file.h"
#include "platform/progress.h"
#include "platform/prompter.h"

namespace tonalda {
namespace {

constexpr int kAttemptsPerBlock = 3;
// A corrected read that starts a few bytes early delivers one frame less than asked; for a block of
// one frame that is none. Such reads are retried (the drive's position varies from read to read),
// but not for ever.
constexpr int kRetriesWithoutProgress = 20;

std::uint32_t clampFrames(std::int64_t frames) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(frames, 0, kMaxFramesPerRead));
}

}  // namespace

namespace {

// The lead-out of the disc in the session, from its table of contents; nullopt when the table
// cannot be read.
std::optional<std::uint32_t> discLeadOut(CdEngine& engine, int handle) {
    DiscToc toc;
    std::memset(&toc, 0, sizeof toc);
    if (engine.readTOCIn(handle, false, toc) != 1)
        return std::nullopt;
    for (std::size_t i = 0; i < toc.descriptorCount(); ++i)
        if (toc.tracks[i].trackNumber == kLeadOutTrack)
            return toc.tracks[i].lba();
    return std::nullopt;
}

}  // namespace

// One block, up to three attempts. A corrected read starts `overlap` frames before the position,
// so a short last block asks for the remaining frames plus the overlap (at most a full block),
// plus one frame past the range: a read that lands a few bytes early then still holds the range's
// last frame. No request reaches past the disc's lead-out, where any read is refused whatever the
// read method. When a request fails all the same, the next smaller one is tried: first without
// the frame past the range, then just the remaining frames. At the lead-out the last frame may
// come out short when the reads land early; they are retried, and when none reached the end of
// the frame, the longest partial frame is completed with zeros: the bytes it misses lie beyond
// the last frame of the disc, where CD audio is silence. Anywhere else such a block fails.
int Extractor::readBlock(int handle, FrameBuffer& block, FrameBuffer& reference,
                         std::uint32_t position, std::uint32_t blockFrames, std::uint32_t remaining,
                         const ExtractionParameters& params, const DiscEnd& discEnd) {
    const bool correct = params.correctJitter;
    const std::uint32_t room = block.capacity / kFrameBytes;
    const bool lastBlock = blockFrames == remaining;
    const bool atLeadOut = lastBlock && discEnd.leadOut && position + remaining == *discEnd.leadOut;
    // How many frames a read at the position may ask for without passing the lead-out.
    std::uint32_t reach = std::numeric_limits<std::uint32_t>::max();
    if (discEnd.leadOut && *discEnd.leadOut > position)
        reach =
            *discEnd.leadOut - position +
            (correct ? jitterReadLead(reference, position, params.jitterCheck, params.overlap) : 0);
    std::array<std::uint32_t, 3> requests{};
    std::size_t requestCount = 0;
    const auto addRequest = [&](std::uint32_t frames) {
        frames = std::min(frames, reach);
        if (requestCount == 0 || requests[requestCount - 1] != frames)
            requests[requestCount++] = frames;
    };
    if (correct && lastBlock) {
        addRequest(std::min(remaining + params.overlap + 1, room));
        addRequest(std::min(remaining + params.overlap, room));
    }
    addRequest(blockFrames);
    std::size_t request = 0;

    int retriesWithoutProgress = 0;
    int result = 4;
    std::uint32_t incomplete = 0;
    std::uint32_t bestIncomplete = 0;
    for (int attempt = 0; attempt < kAttemptsPerBlock;) {
        block.startFrame = position;
        block.frameCount = requests[request];
        block.length = 0;
        block.startOffset = 0;
        result = correct ? readCDAudioJitter(engine_, handle, block, reference, &incomplete)
                         : engine_.readCDAudio(handle, block);
        if (result != 1 && request + 1 < requestCount) {
            // Only a read the drive refused means the request reached too far; a block whose
            // reference was not found (the read landed too far off) is simply tried again.
            const std::int32_t error = engine_.getLastCdError();
            engine_.setLastError(error);
            if (error != kCdErrJitterMatch) {
                ++request;
                continue;
            }
        }
        // At the lead-out a read cannot reach further, so one that lands early can end before
        // the reference does: like a read that delivers nothing, it is tried again.
        if (result != 1 && atLeadOut && ++retriesWithoutProgress < kRetriesWithoutProgress) {
            const std::int32_t error = engine_.getLastCdError();
            engine_.setLastError(error);
            if (error == kCdErrJitterMatch)
                continue;
        }
        if (result == 1 && block.frameCount == 0) {
            // Keep the longest partial frame: the read that landed latest.
            if (incomplete > bestIncomplete && incomplete < kFrameBytes) {
                std::memcpy(partialFrame_.data(), block.data.data() + block.startOffset,
                            incomplete);
                bestIncomplete = incomplete;
            }
            if (++retriesWithoutProgress < kRetriesWithoutProgress)
                continue;
            if (atLeadOut && remaining == 1 && bestIncomplete > 0 &&
                block.startOffset + kFrameBytes <= block.data.size()) {
                std::uint8_t* frame = block.data.data() + block.startOffset;
                std::memcpy(frame, partialFrame_.data(), bestIncomplete);
                std::memset(frame + bestIncomplete, 0, kFrameBytes - bestIncomplete);
                block.frameCount = 1;
                block.length = static_cast<std::uint32_t>(kFrameBytes);
                break;
            }
            engine_.setLastError(kCdErrJitterMatch);
            result = 4;
        }
        if (result == 1)
            break;
        ++attempt;
    }
    if (result == 1 && block.frameCount > remaining) {
        block.frameCount = remaining;
        block.length = static_cast<std::uint32_t>(remaining * kFrameBytes);
    }
    return result;
}

ExtractionParameters fitExtractionParameters(const CdRomSettings& settings, std::string& note) {
    ExtractionParameters p;
    p.correctJitter = settings.correctsJitter();
    p.overlap = clampFrames(settings.overlap);
    p.jitterCheck = clampFrames(settings.jitterCheck);
    std::int64_t block = settings.blockSize;
    note.clear();

    if (block < 1 || block > kMaxFramesPerRead) {
        block = std::clamp<std::int64_t>(block, 1, kMaxFramesPerRead);
        note += "The reading buffer size must be between 1 and 255 frames; using " +
                std::to_string(block) + ".\n";
    }
    if (p.correctJitter) {
        if (p.overlap < p.jitterCheck) {
            // Two frames of margin before the reference, as in the default settings, so that a
            // read that lands late still holds it.
            p.overlap = std::min(p.jitterCheck + 2, kMaxFramesPerRead - 1);
            note += "The overlap must be at least the jitter check; using an overlap of " +
                    std::to_string(p.overlap) + " frames.\n";
        }
        // A block of overlap + 1 frames delivers nothing when a read lands a few bytes early.
        if (block <= p.overlap + 1) {
            if (p.overlap + 2 > kMaxFramesPerRead) {
                p.overlap = kMaxFramesPerRead - 2;
                p.jitterCheck = std::min(p.jitterCheck, p.overlap);
            }
            block = p.overlap + 2;
            note +=
                "With jitter correction the reading buffer must be at least two frames larger than "
                "the overlap; "
                "using " +
                std::to_string(block) + " frames.\n";
        }
    }
    p.blockSize = static_cast<std::uint32_t>(block);
    return p;
}

std::filesystem::path withExtension(const std::filesystem::path& basePath, const char* extension) {
    std::filesystem::path file = basePath;
    file += extension;
    return file;
}

Extractor::Extractor(CdEngine& engine, const CdRomSettings& settings, Prompter& prompter,
                     const CancelToken& cancel)
    : engine_(engine), settings_(settings), prompter_(prompter), cancel_(cancel) {}

ExtractionResult Extractor::extractToWav(int handle, std::uint32_t firstFrame,
                                         std::uint32_t frameCount,
                                         const std::filesystem::path& basePath,
                                         ProgressSink* progress) {
    return extract(handle, firstFrame, frameCount, withExtension(basePath, ".wav"), progress);
}

ExtractionResult Extractor::extractToTemp(int handle, std::uint32_t firstFrame,
                                          std::uint32_t frameCount,
                                          const std::filesystem::path& basePath,
                                          ProgressSink* progress) {
    return extract(handle, firstFrame, frameCount, withExtension(basePath, ".tmp"), progress);
}

ExtractionResult Extractor::extract(int handle, std::uint32_t firstFrame, std::uint32_t frameCount,
                                    const std::filesystem::path& path, ProgressSink* progress) {
    std::string note;
    const ExtractionParameters params = fitExtractionParameters(settings_, note);
    if (!note.empty() && !noteShown_) {
        noteShown_ = true;
        prompter_.tell(note, PromptIcon::Warning);
    }
    if (params.correctJitter &&
        (params.overlap != static_cast<std::uint32_t>(settings_.overlap) ||
         params.jitterCheck != static_cast<std::uint32_t>(settings_.jitterCheck))) {
        engine_.setCdOption(handle, kCdOptionOverlap, params.overlap);
        engine_.setCdOption(handle, kCdOptionJitterCheck, params.jitterCheck);
    }

    FrameBuffer block = FrameBuffer::forFrames(params.blockSize);
    UniqueFile file = openFile(path, "w+b");
    if (!file) {
        prompter_.tell("Cannot create file: " + path.string() + " (" + std::strerror(errno) + ")",
                       PromptIcon::Error);
        return ExtractionResult::Failed;
    }
    writeWavHeader(file.get(), 0);
    FrameBuffer reference = FrameBuffer::forFrames(params.overlap);
    reference.frameCount = 0;
    const DiscEnd discEnd{discLeadOut(engine_, handle)};

    std::uint32_t position = firstFrame;
    std::uint32_t remaining = frameCount;
    std::uint32_t blockFrames = params.blockSize;
    std::uint64_t delivered = 0;
    std::uint64_t bytes = 0;

    while (remaining != 0 && !cancel_.stopRequested()) {
        blockFrames = std::min(blockFrames, remaining);
        const int result =
            readBlock(handle, block, reference, position, blockFrames, remaining, params, discEnd);
        if (result != 1) {
            char text[96];
            const int error = engine_.getLastCdError();
            const int status = engine_.getLastScsiStatus();
            std::snprintf(text, sizeof text, "Error at %d (%d:%d)\n", static_cast<int>(position),
                          error, status);
            prompter_.tell(text, PromptIcon::Error);
            return ExtractionResult::Failed;  // the header keeps its zero sizes
        }
        if (block.length != 0 && std::fwrite(block.data.data() + block.startOffset, 1, block.length,
                                             file.get()) != block.length) {
            prompter_.tell(
                "Cannot write file: " + path.string() + " (" + std::strerror(errno) + ")",
                PromptIcon::Error);
            return ExtractionResult::Failed;
        }
        delivered += block.frameCount;
        bytes += block.length;
        if (progress)
            progress->progress(
                static_cast<int>(static_cast<double>(delivered) / frameCount * 1000.0));
        position += block.frameCount;
        remaining = block.frameCount >= remaining ? 0 : remaining - block.frameCount;
    }

    const bool cancelled = remaining != 0;
    if (!writeWavHeader(file.get(), static_cast<std::uint32_t>(bytes)) ||
        std::fflush(file.get()) != 0) {
        prompter_.tell("Cannot write file: " + path.string(), PromptIcon::Error);
        return ExtractionResult::Failed;
    }
    return cancelled ? ExtractionResult::Cancelled : ExtractionResult::Completed;
}

}  // namespace tonalda
