#include "cdaccess/jitter_match.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tonalda {
namespace {

// Deterministic audio-like bytes: the byte at absolute disc position p.
std::uint8_t discByte(std::int64_t p) {
    std::uint64_t x = static_cast<std::uint64_t>(p) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<std::uint8_t>(x * 0xBF58476D1CE4E5B9ull >> 56);
}

// A block as a drive would deliver a read of `frames` frames at `startFrame`, positioned `shift`
// bytes off.
FrameBuffer readAt(std::uint32_t startFrame, std::uint32_t frames, int shift) {
    FrameBuffer block = FrameBuffer::forFrames(frames);
    block.startFrame = startFrame;
    const std::int64_t origin = std::int64_t{startFrame} * kFrameBytes + shift;
    for (std::size_t i = 0; i < block.capacity; ++i)
        block.data[i] = discByte(origin + static_cast<std::int64_t>(i));
    block.length = block.capacity;
    return block;
}

FrameBuffer referenceOf(std::uint32_t startFrame, std::uint32_t frames) {
    FrameBuffer reference = readAt(startFrame, frames, 0);
    reference.frameCount = frames;
    return reference;
}

TEST(MatchOverlap, FindsTheReferenceAtByteGranularityAndContinuesAfterIt) {
    // Block 1 ended with frame 99 (J = 1); the next request is frame 100, read from 97 (O = 3).
    for (const int shift : {0, 2, -2, 1, -7, 300}) {
        FrameBuffer block = readAt(97, 26, shift);
        const FrameBuffer reference = referenceOf(99, 1);
        ASSERT_EQ(matchOverlap(block, reference, 1), OverlapMatch::Matched) << shift;
        const std::size_t expectedOffset = 3 * kFrameBytes - shift;
        EXPECT_EQ(block.startOffset, expectedOffset) << shift;
        EXPECT_EQ(block.startFrame, 100u);
        EXPECT_EQ(block.frameCount, (26 * kFrameBytes - expectedOffset) / kFrameBytes);
        EXPECT_EQ(block.length, block.frameCount * kFrameBytes);
        // The delivered data is exactly the disc from frame 100 on.
        for (std::size_t i = 0; i < block.length; i += 997)
            ASSERT_EQ(block.data[block.startOffset + i], discByte(100 * kFrameBytes + i)) << shift;
    }
}

TEST(MatchOverlap, ExactPositioningDeliversBlockMinusOverlapFrames) {
    FrameBuffer block = readAt(97, 26, 0);
    ASSERT_EQ(matchOverlap(block, referenceOf(99, 1), 1), OverlapMatch::Matched);
    EXPECT_EQ(block.frameCount, 23u);
    EXPECT_EQ(block.startOffset, 3 * kFrameBytes);
}

TEST(MatchOverlap, SilentOrEmptyReferenceIsNoReferenceAndLeavesTheBlock) {
    FrameBuffer silent = referenceOf(99, 1);
    std::memset(silent.data.data(), 0, silent.data.size());
    FrameBuffer empty = FrameBuffer::forFrames(3);
    for (const FrameBuffer* reference : {&silent, &empty}) {
        FrameBuffer block = readAt(97, 26, 5);
        const FrameBuffer before = block;
        EXPECT_EQ(matchOverlap(block, *reference, 1), OverlapMatch::NoReference);
        EXPECT_EQ(block.length, before.length);
        EXPECT_EQ(block.startOffset, 0u);
        EXPECT_EQ(block.startFrame, 97u);
    }
}

TEST(MatchOverlap, MissingReferenceIsNotMatchedAndTrimsToWholeFrames) {
    FrameBuffer block = readAt(500, 26, 0);
    block.length = 26 * kFrameBytes - 10;  // a partial frame at the end
    EXPECT_EQ(matchOverlap(block, referenceOf(99, 1), 1), OverlapMatch::NotMatched);
    EXPECT_EQ(block.frameCount, 25u);
    EXPECT_EQ(block.length, 25 * kFrameBytes);
    EXPECT_EQ(block.startOffset, 0u);
}

TEST(MatchOverlap, ReferenceMustStartBeforeTheLastReferenceSizedWindow) {
    // The reference sits exactly at the end of the block: offset R is not searched.
    FrameBuffer block = readAt(97, 3, 0);
    EXPECT_EQ(matchOverlap(block, referenceOf(99, 1), 1), OverlapMatch::NotMatched);
    FrameBuffer longer = readAt(97, 4, 0);
    EXPECT_EQ(matchOverlap(longer, referenceOf(99, 1), 1), OverlapMatch::Matched);
    EXPECT_EQ(longer.frameCount, 1u);
}

TEST(MatchOverlap, MultiFrameReference) {
    FrameBuffer block = readAt(90, 26, -3);
    ASSERT_EQ(matchOverlap(block, referenceOf(92, 2), 2), OverlapMatch::Matched);
    EXPECT_EQ(block.startFrame, 94u);
    EXPECT_EQ(block.data[block.startOffset], discByte(94 * kFrameBytes));
}

}  // namespace
}  // namespace tonalda
