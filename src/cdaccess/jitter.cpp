#include "cdaccess/jitter.h"

#include <algorithm>
#include <cstring>

#include "cdaccess/cd_engine.h"
#include "cdaccess/jitter_match.h"

namespace tonalda {
namespace {

void clearReference(FrameBuffer& reference) {
    reference.startFrame = 0;
    reference.frameCount = 0;
    reference.length = 0;
}

// Keeps the last jitterFrames delivered frames as the reference for the next block. When a matched
// block delivered fewer frames than that, the reference slides forward by what was delivered, so
// it still ends right before the next frame to read. An unmatched block that short leaves no
// reference: the next block is read as requested.
void keepReference(const FrameBuffer& block, FrameBuffer& reference, std::uint32_t jitterFrames,
                   bool matched) {
    const std::size_t bytes = std::size_t{jitterFrames} * kFrameBytes;
    if (jitterFrames == 0 || bytes > reference.data.size()) {
        clearReference(reference);
        return;
    }
    const std::uint8_t* delivered = block.data.data() + block.startOffset;
    if (block.frameCount >= jitterFrames) {
        std::memcpy(reference.data.data(),
                    delivered + (block.frameCount - jitterFrames) * kFrameBytes, bytes);
        reference.startFrame = block.startFrame + block.frameCount - jitterFrames;
    } else if (matched && reference.startOffset == 0 && reference.length == bytes) {
        const std::size_t fresh = std::size_t{block.frameCount} * kFrameBytes;
        std::memmove(reference.data.data(), reference.data.data() + fresh, bytes - fresh);
        std::memcpy(reference.data.data() + (bytes - fresh), delivered, fresh);
        reference.startFrame += block.frameCount;
    } else {
        clearReference(reference);
        return;
    }
    reference.startOffset = 0;
    reference.frameCount = jitterFrames;
    reference.length = static_cast<std::uint32_t>(bytes);
}

}  // namespace

std::uint32_t jitterReadLead(const FrameBuffer& reference, std::uint32_t position,
                             std::uint32_t jitterFrames, std::uint32_t overlapFrames) {
    const bool kept = reference.capacity / kFrameBytes >= jitterFrames &&
                      !isEmptyReference(reference) && reference.frameCount != 0;
    if (!kept || position < jitterFrames || reference.startFrame != position - jitterFrames)
        return 0;
    return std::min(overlapFrames, position);
}

int readCDAudioJitter(CdEngine& engine, int handle, FrameBuffer& block, FrameBuffer& reference,
                      std::uint32_t* incompleteBytes) {
    if (incompleteBytes)
        *incompleteBytes = 0;
    return engine.withSession(handle, [&](DriveSession& session) {
        const std::uint32_t jitterFrames = session.jitterCheckFrames;
        const std::uint32_t overlapFrames = session.overlapFrames;
        const std::uint32_t referenceRoom = reference.capacity / kFrameBytes;
        const bool canKeepReference = referenceRoom >= jitterFrames;

        const bool matching = canKeepReference && !isEmptyReference(reference);
        if (matching && reference.frameCount != 0) {
            const std::uint32_t requested = block.startFrame;
            if (requested >= jitterFrames && reference.startFrame == requested - jitterFrames) {
                // Start the read early enough that the reference lies inside it (as
                // jitterReadLead tells the caller). Near the start of the disc the read cannot
                // begin before frame 0.
                const std::uint32_t back =
                    jitterReadLead(reference, requested, jitterFrames, overlapFrames);
                block.startFrame = requested - back;
                if (block.frameCount <= back &&
                    block.frameCount + back <= block.capacity / kFrameBytes)
                    block.frameCount += back;
            } else {
                clearReference(reference);  // it belongs to another sequence
            }
        }

        const int result = engine.runReadProcedure(handle, block);
        if (result != 1)
            return result;
        const std::uint32_t readEnd = block.startOffset + block.length;

        const OverlapMatch match =
            matching ? matchOverlap(block, reference, jitterFrames) : OverlapMatch::NoReference;
        if (match == OverlapMatch::NotMatched) {
            engine.setLastError(kCdErrJitterMatch);
            return 4;
        }
        if (incompleteBytes && match == OverlapMatch::Matched)
            *incompleteBytes = readEnd - (block.startOffset + block.length);

        if (canKeepReference)
            keepReference(block, reference, jitterFrames, match == OverlapMatch::Matched);
        else
            clearReference(reference);
        return 1;
    });
}

}  // namespace tonalda
