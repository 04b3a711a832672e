// Reading audio allocates nothing per block once a session reads: the engine reuses its request
// records and buffers, and the session's lock and read procedures take callables by reference.

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "cdaccess/jitter.h"
#include "engine_fixture.h"

// The replacements below pair malloc with free, which GCC cannot see through new and delete.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// Counts this thread's allocations while a test asks for it.
thread_local bool countAllocations = false;
thread_local std::size_t allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    if (countAllocations)
        ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace tonalda::testing {
namespace {

class EngineAllocationTest : public EngineTest {
  protected:
    std::size_t allocationsDuring(const std::function<void()>& body) {
        allocations = 0;
        countAllocations = true;
        body();
        countAllocations = false;
        return allocations;
    }
};

TEST_F(EngineAllocationTest, ReadingBlocksAllocatesNothingPerBlock) {
    auto fake = std::make_shared<FakeSystem>();
    fake->addUnit(0, 0, 0, 0);
    fake->logCommands = false;
    auto engine = nativeEngine(fake);
    auto request = openRequest({0, 0, 0});
    request.jitterCheckFrames = 1;
    request.overlapFrames = 3;
    const int handle = engine->getCDHandle(&request);
    ASSERT_GT(handle, 0);

    FrameBuffer block = FrameBuffer::forFrames(26);
    FrameBuffer reference = FrameBuffer::forFrames(3);
    std::uint32_t position = 1000;
    const auto readOne = [&] {
        block.startFrame = position;
        block.frameCount = 26;
        block.length = 0;
        block.startOffset = 0;
        ASSERT_EQ(readCDAudioJitter(*engine, handle, block, reference), 1);
        position += block.frameCount;
    };
    // The first reads choose the method and size the request buffer.
    readOne();
    readOne();
    const std::size_t during = allocationsDuring([&] {
        for (int read = 0; read < 40; ++read)
            readOne();
        block.startFrame = 5000;
        block.frameCount = 26;
        for (int read = 0; read < 10; ++read)
            ASSERT_EQ(engine->readCDAudio(handle, block), 1);
    });
    EXPECT_EQ(during, 0u);
    EXPECT_EQ(position, 1000u + 26 + 23 * 41);
    engine->closeCDHandle(handle);
}

}  // namespace
}  // namespace tonalda::testing
