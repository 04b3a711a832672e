// The native transport over answers a real kernel gave in the VM test (tests/vm) and the first
// fake layer did not: sense with the valid bit, a changed disc first reported as "no medium",
// failures at the host adapter, data sectors, residual counts and read-only access.

#include <gtest/gtest.h>

#include <cerrno>

#include "cdaccess/aspi_abi.h"
#include "cdaccess/native_transport.h"
#include "engine_fixture.h"

namespace tonalda::testing {
namespace {

class NativeKernelAnswersTest : public EngineTest {
  protected:
    std::shared_ptr<FakeSystem> fake_ = std::make_shared<FakeSystem>();

    int openSession(CdEngine& engine, std::uint8_t method) {
        const auto request = openRequest({0, 0, 0}, method);
        const int handle = engine.getCDHandle(&request);
        EXPECT_GT(handle, 0);
        return handle;
    }
    std::vector<std::uint8_t> opcodes() const {
        std::vector<std::uint8_t> sent;
        for (const FakeCommand& command : fake_->commands) {
            sent.push_back(command.cdb[0]);
        }
        return sent;
    }
    static std::uint32_t leadOut(const DiscToc& toc) {
        return toc.tracks[toc.descriptorCount() - 1].lba();
    }
};

// An ATAPI drive whose disc was swapped answers "no medium" once (its tray was open), then the
// change, with sense data whose valid bit is set (response code 0xF0).
TEST_F(NativeKernelAnswersTest, SwappedDiscIsNoMediumOnceThenTheChangeAndTheNewToc) {
    FakeUnit& unit = fake_->addUnit(0, 0, 0, 0);
    unit.senseResponseCode = 0xF0;
    unit.leadOut = 5000;
    auto engine = nativeEngine(fake_);
    const int handle = openSession(*engine, 0);
    DiscToc toc{};
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    EXPECT_EQ(leadOut(toc), 5000u);

    unit.leadOut = 7000;
    unit.pendingSense = {{0x02, 0x3A}, {0x06, 0x28}};
    fake_->commands.clear();
    engine->getLastCdError();
    EXPECT_EQ(engine->readTOC(handle, toc), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);
    const SenseData noMedium = engine->lastSense();
    EXPECT_EQ(noMedium.bytes[0], 0xF0);
    EXPECT_EQ(noMedium.key(), 0x02);
    EXPECT_EQ(noMedium.asc(), 0x3A);
    EXPECT_EQ(opcodes(), (std::vector<std::uint8_t>{0x43})) << "no medium is not retried";

    // The next command meets the change: the drive is identified again and the TOC retried.
    fake_->commands.clear();
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    EXPECT_EQ(leadOut(toc), 7000u);
    EXPECT_EQ(opcodes(), (std::vector<std::uint8_t>{0x43, 0x12, 0x43}));
}

// virtio-scsi ends some commands at the host adapter: no SCSI status, no sense.
TEST_F(NativeKernelAnswersTest, HostAdapterErrorWithoutSenseFailsTheCommand) {
    fake_->addUnit(0, 0, 0, 0).hostErrors = {0x47};
    auto engine = nativeEngine(fake_);
    const int handle = openSession(*engine, 0);
    EXPECT_EQ(engine->playAudioMsf(handle, 0, 2, 0, 1, 0, 0), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);
    EXPECT_EQ(engine->lastSense().key(), 0);

    SRB_ExecSCSICmd srb = commandRecord({0x47, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(engine->sendScsiRequest(&srb), SS_ERR);
    EXPECT_EQ(srb.SRB_HaStat, 0x07);
    EXPECT_EQ(srb.SRB_TargStat, 0);
}

// A data disc in an ATAPI drive: READ CD without EDC/ECC is refused, user data alone comes back
// 2048 bytes a frame with no residual reported, MODE SELECT and the vendor reads are refused.
// The automatic choice must still end with whole raw frames, the user data inside each.
TEST_F(NativeKernelAnswersTest, DataSectorsAreReadAsWholeRawFrames) {
    FakeUnit& unit = fake_->addUnit(0, 0, 0, 0);
    unit.dataDisc = true;
    unit.residualReported = false;
    unit.refused = {0x15, 0x4B, 0xD4, 0xD8};
    auto engine = nativeEngine(fake_);
    const int handle = openSession(*engine, 0);
    auto buffer = FrameBuffer::forFrames(3);
    buffer.startFrame = 16;
    ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
    EXPECT_EQ(engine->sessionTable()->slots[handle - 1].readMethod, 2);
    ASSERT_EQ(buffer.length, 3 * kFrameBytes);
    for (std::uint32_t frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        const std::uint8_t* raw = buffer.data.data() + frame * kFrameBytes;
        EXPECT_EQ(raw[0], 0x00);
        EXPECT_EQ(raw[1], 0xFF);
        EXPECT_EQ(raw[15], 1) << "mode 1";
        for (const std::uint32_t offset : {0u, 1000u, 2047u}) {
            EXPECT_EQ(raw[16 + offset], FakeSystem::dataByte(16 + frame, offset));
        }
    }
}

// virtio-scsi counts what a short read left out; the transport gives it back when asked.
TEST_F(NativeKernelAnswersTest, ResidualCountIsReportedWhenAsked) {
    fake_->addUnit(0, 0, 0, 0).dataDisc = true;
    auto engine = nativeEngine(fake_);
    std::vector<std::uint8_t> data(2 * kFrameBytes);
    auto read10 = [&](std::uint8_t flags) {
        SRB_ExecSCSICmd srb = commandRecord({0x28, 0, 0, 0, 0, 16, 0, 0, 2, 0}, flags, &data);
        EXPECT_EQ(engine->sendScsiRequest(&srb), SS_COMP);
        return srb.SRB_BufLen;
    };
    EXPECT_EQ(read10(SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT), 2 * (kFrameBytes - 2048));
    EXPECT_EQ(data[2047], FakeSystem::dataByte(16, 2047));
    EXPECT_EQ(read10(SRB_DIR_IN), data.size()) << "the length stays when no residual is asked";
}

// A read the drive calls good while the kernel counts nothing transferred fails, also with a
// method fixed (no probe looks at the data then). Where the kernel counts nothing (libata's ATAPI
// reports a residual of 0) only the automatic choice's look at the data is left.
TEST_F(NativeKernelAnswersTest, ReadThatDeliveredNothingFails) {
    FakeUnit& unit = fake_->addUnit(0, 0, 0, 0);
    unit.silent = {0xBE};
    auto engine = nativeEngine(fake_);
    const int handle = openSession(*engine, 1);
    auto buffer = FrameBuffer::forFrames(2);
    engine->getLastCdError();
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);

    unit.residualReported = false;
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 1) << "nothing tells the transport otherwise";
}

// A user who may open the device only for reading: the kernel refuses what needs write access
// (EPERM, no sense); reads and the table of contents still work, and nothing is retried.
TEST_F(NativeKernelAnswersTest, ReadOnlyAccessRefusesWhatWritesAndKeepsReading) {
    FakeUnit& unit = fake_->addUnit(0, 0, 0, 0);
    unit.readWriteRefused = true;
    unit.leadOut = 3000;
    fake_->rawIoCapable = false;
    auto engine = nativeEngine(fake_);
    {
        const int handle = openSession(*engine, 0);
        fake_->commands.clear();
        engine->getLastCdError();
        EXPECT_EQ(engine->setCdSpeed(handle, 0xFFFF), 4);
        EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
        EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);
        EXPECT_EQ(engine->lastSense().key(), 0);
        EXPECT_EQ(opcodes(), (std::vector<std::uint8_t>{0xBB})) << "EPERM is not a stale handle";

        DiscToc toc{};
        EXPECT_EQ(engine->readTOC(handle, toc), 1);
        auto buffer = FrameBuffer::forFrames(2);
        buffer.startFrame = 20;
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        EXPECT_EQ(buffer.data[7], FakeSystem::audioByte(20 * kFrameBytes + 7));
        engine->closeCDHandle(handle);
    }
    const int handle = openSession(*engine, 3);
    fake_->commands.clear();
    auto buffer = FrameBuffer::forFrames(1);
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(opcodes(), (std::vector<std::uint8_t>{0x15})) << "the set-up fails, no read follows";
}

}  // namespace
}  // namespace tonalda::testing
