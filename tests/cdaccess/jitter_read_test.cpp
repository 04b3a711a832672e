// Jitter-corrected reads through the virtual drive: how the request is moved, when a reference is
// kept, and what a block delivers.

#include "cdaccess/jitter.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cdaccess/cd_engine.h"
#include "support/vdrive_fixture.h"

namespace tonalda {
namespace {

class JitterReadTest : public test::VirtualDriveTest {
  protected:
    void SetUp() override {
        startEngine("gen:seed 9/track audio 600,noaudio");
        ASSERT_EQ(drives_.count, 1);
    }

    int open(std::uint8_t jitterCheck, std::uint8_t overlap) {
        const int unit = 0;
        CdHandleRequest request;
        request.adapter = drives_.drives[unit].adapter;
        request.target = drives_.drives[unit].target;
        request.lun = drives_.drives[unit].lun;
        request.jitterCheckFrames = jitterCheck;
        request.overlapFrames = overlap;
        const int handle = engine_->getCDHandle(&request);
        EXPECT_GT(handle, 0);
        return handle;
    }

    std::string plain(int handle, std::uint32_t first, std::uint32_t frames) {
        FrameBuffer block = FrameBuffer::forFrames(frames);
        block.startFrame = first;
        EXPECT_EQ(engine_->readCDAudio(handle, block), 1);
        return {reinterpret_cast<const char*>(block.data.data()), block.length};
    }

    static std::string delivered(const FrameBuffer& block) {
        return {reinterpret_cast<const char*>(block.data.data()) + block.startOffset, block.length};
    }

    // One corrected read of `frames` at `first`.
    int read(int handle, FrameBuffer& block, FrameBuffer& reference, std::uint32_t first,
             std::uint32_t frames) {
        block.startFrame = first;
        block.frameCount = frames;
        block.length = 0;
        block.startOffset = 0;
        return readCDAudioJitter(*engine_, handle, block, reference);
    }
};

TEST_F(JitterReadTest, ConsecutiveBlocksAreMovedBackAndDeliverBlockMinusOverlap) {
    const int handle = open(1, 3);
    FrameBuffer block = FrameBuffer::forFrames(26);
    FrameBuffer reference = FrameBuffer::forFrames(3);
    ASSERT_EQ(read(handle, block, reference, 0, 26), 1);
    EXPECT_EQ(block.frameCount, 26u);  // no reference yet: read as requested
    EXPECT_EQ(reference.startFrame, 25u);
    EXPECT_EQ(reference.length, kFrameBytes);

    ASSERT_EQ(read(handle, block, reference, 26, 26), 1);
    EXPECT_EQ(block.startFrame, 26u);
    EXPECT_EQ(block.frameCount, 23u);
    EXPECT_EQ(block.startOffset, 3 * kFrameBytes);
    EXPECT_EQ(delivered(block), plain(handle, 26, 23));
    EXPECT_EQ(reference.startFrame, 48u);

    // A last block of N <= O frames is read as N + O frames and delivers N.
    ASSERT_EQ(read(handle, block, reference, 49, 2), 1);
    EXPECT_EQ(block.frameCount, 2u);
    EXPECT_EQ(block.startFrame, 49u);
    EXPECT_EQ(delivered(block), plain(handle, 49, 2));
}

TEST_F(JitterReadTest, AReferenceThatDoesNotPrecedeTheRequestIsDiscarded) {
    const int handle = open(1, 3);
    FrameBuffer block = FrameBuffer::forFrames(26);
    FrameBuffer reference = FrameBuffer::forFrames(3);
    ASSERT_EQ(read(handle, block, reference, 0, 26), 1);
    ASSERT_EQ(read(handle, block, reference, 300, 26), 1);  // a skipped range
    EXPECT_EQ(block.frameCount, 26u);
    EXPECT_EQ(block.startOffset, 0u);
    EXPECT_EQ(delivered(block), plain(handle, 300, 26));
    EXPECT_EQ(reference.startFrame, 325u);
}

TEST_F(JitterReadTest, NoReferenceIsKeptWithoutJitterCheckOrOverlapRoom) {
    for (const auto& [jitterCheck, overlapRoom] : {std::pair{0, 3}, std::pair{1, 0}}) {
        const int handle = open(static_cast<std::uint8_t>(jitterCheck), 3);
        FrameBuffer block = FrameBuffer::forFrames(26);
        FrameBuffer reference = FrameBuffer::forFrames(static_cast<std::uint32_t>(overlapRoom));
        ASSERT_EQ(read(handle, block, reference, 0, 26), 1);
        EXPECT_EQ(reference.length, 0u);
        ASSERT_EQ(read(handle, block, reference, 26, 26), 1);
        EXPECT_EQ(block.frameCount, 26u) << jitterCheck << "/" << overlapRoom;
        EXPECT_EQ(block.startFrame, 26u);
        EXPECT_EQ(delivered(block), plain(handle, 26, 26));
        engine_->closeCDHandle(handle);
    }
}

TEST_F(JitterReadTest, SilentReferenceCountsAsNoneAndAMissingOneFailsWithMinus15) {
    const int handle = open(1, 3);
    FrameBuffer block = FrameBuffer::forFrames(26);
    FrameBuffer reference = FrameBuffer::forFrames(3);
    reference.startFrame = 25;
    reference.frameCount = 1;
    reference.length = kFrameBytes;  // all zero bytes
    ASSERT_EQ(read(handle, block, reference, 26, 26), 1);
    EXPECT_EQ(block.frameCount, 26u);
    EXPECT_EQ(block.startFrame, 26u);

    // A reference that precedes the request but is not on the disc.
    std::memset(reference.data.data(), 0x5A, kFrameBytes);
    reference.startFrame = 51;
    reference.frameCount = 1;
    reference.length = kFrameBytes;
    const FrameBuffer before = reference;
    EXPECT_EQ(read(handle, block, reference, 52, 26), 4);
    EXPECT_EQ(engine_->getLastCdError(), kCdErrJitterMatch);
    EXPECT_EQ(reference.data, before.data);  // left as it was for a retry
    EXPECT_EQ(reference.startFrame, 51u);
}

TEST_F(JitterReadTest, BadHandleIsMinus7) {
    FrameBuffer block = FrameBuffer::forFrames(26);
    FrameBuffer reference = FrameBuffer::forFrames(3);
    EXPECT_EQ(read(9, block, reference, 0, 26), 4);
    EXPECT_EQ(engine_->getLastCdError(), kCdErrInvalidHandle);
}

}  // namespace
}  // namespace tonalda
