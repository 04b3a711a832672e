#include "cdaccess/jitter_match.h"

#include <cstring>

namespace tonalda {
namespace {

std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

bool allZero(const std::uint8_t* p, std::size_t size) {
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8)
        if (load64(p + i) != 0)
            return false;
    for (; i < size; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// First offset i < offsets where haystack[i, i + size) equals needle, or offsets when none.
// A wrong offset is normally rejected by one 8-byte compare before the full comparison.
std::size_t findReference(const std::uint8_t* haystack, std::size_t offsets,
                          const std::uint8_t* needle, std::size_t size) {
    if (size < 8) {
        for (std::size_t i = 0; i < offsets; ++i)
            if (std::memcmp(haystack + i, needle, size) == 0)
                return i;
        return offsets;
    }
    const std::uint64_t head = load64(needle);
    for (std::size_t i = 0; i < offsets; ++i)
        if (load64(haystack + i) == head &&
            std::memcmp(haystack + i + 8, needle + 8, size - 8) == 0)
            return i;
    return offsets;
}

void trimToWholeFrames(FrameBuffer& block) {
    block.frameCount = block.length / kFrameBytes;
    block.length = static_cast<std::uint32_t>(block.frameCount * kFrameBytes);
}

}  // namespace

bool isEmptyReference(const FrameBuffer& reference) {
    if (reference.length == 0)
        return true;
    if (reference.startOffset + std::size_t{reference.length} > reference.data.size())
        return true;  // a reference that does not fit its buffer cannot be compared
    return allZero(reference.data.data() + reference.startOffset, reference.length);
}

OverlapMatch matchOverlap(FrameBuffer& block, const FrameBuffer& reference,
                          std::uint32_t jitterFrames) {
    const std::size_t size = std::size_t{jitterFrames} * kFrameBytes;
    if (isEmptyReference(reference))
        return OverlapMatch::NoReference;

    OverlapMatch outcome = OverlapMatch::NotMatched;
    const bool comparable = size > 0 && size <= reference.length && block.length > size &&
                            std::size_t{block.length} <= block.data.size();
    if (comparable) {
        const std::size_t offsets = block.length - size;
        const std::size_t found = findReference(
            block.data.data(), offsets, reference.data.data() + reference.startOffset, size);
        if (found < offsets) {
            block.length -= static_cast<std::uint32_t>(found + size);
            block.startOffset = static_cast<std::uint32_t>(found + size);
            block.startFrame = reference.startFrame + jitterFrames;
            outcome = OverlapMatch::Matched;
        }
    }
    trimToWholeFrames(block);
    return outcome;
}

}  // namespace tonalda
