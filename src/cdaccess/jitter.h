#pragma once
// Jitter-corrected audio reads: each read of a sequence starts some frames before the requested
// frame and is cut so that it continues exactly where the previous block ended.

#include "cdaccess/cd_types.h"

namespace tonalda {

class CdEngine;

// Reads block.frameCount frames at block.startFrame through the session's read procedure,
// matching the reference (the previous block's last frames, kept in `reference`) at byte
// granularity. 1 when the block holds new frames that continue the previous block; then
// block.startOffset, length, frameCount and startFrame describe exactly the delivered data and
// the reference holds its last frames. 4 with last error -7, -11, -15 (reference not found;
// the reference is left as it was, so a retry matches against it again) or the read's failure.
// The caller sets block.startFrame and frameCount again before retrying.
// When given, incompleteBytes receives how many bytes of a partial frame follow the delivered
// frames in the data area (a matched read that landed early ends inside a frame).
// Thread: the extraction thread that owns both buffers.
int readCDAudioJitter(CdEngine& engine, int handle, FrameBuffer& block, FrameBuffer& reference,
                      std::uint32_t* incompleteBytes = nullptr);

// How many frames before `position` a corrected read of it starts: the overlap (no further back
// than frame 0) when the reference ends right before the position and is kept, else 0. A read of
// N frames then covers position - lead up to position - lead + N.
// Thread: any.
std::uint32_t jitterReadLead(const FrameBuffer& reference, std::uint32_t position,
                             std::uint32_t jitterFrames, std::uint32_t overlapFrames);

}  // namespace tonalda
