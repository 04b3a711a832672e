#pragma once
// Overlap matching for jitter-corrected reads: finds the previous block's last frames (the
// reference) inside a newly read block at byte granularity and cuts the block so that it continues
// exactly where the previous one ended.

#include <cstdint>

#include "cdaccess/cd_types.h"

namespace tonalda {

enum class OverlapMatch { Matched, NotMatched, NoReference };

// True when the reference buffer holds no usable reference: no valid data, or only zero bytes
// (digital silence cannot be located).
bool isEmptyReference(const FrameBuffer& reference);

// Searches the first jitterFrames x 2352 bytes of the reference's valid data in block's data area
// at offsets 0, 1, 2, ... below block.length - reference size; the first equal offset wins. On a
// match the block starts right after the reference. Matched and NotMatched both trim the block's
// length to whole frames. No allocation. Thread: the extraction thread that owns both buffers.
OverlapMatch matchOverlap(FrameBuffer& block, const FrameBuffer& reference,
                          std::uint32_t jitterFrames);

}  // namespace tonalda
