// The engine over the native transport and a scripted drive: start-up without a transport,
// sessions and their table, the read methods' command blocks, set-ups and restores, and the
// automatic choice of a read method.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "cdaccess/aspi_abi.h"
#include "engine_fixture.h"

namespace tonalda::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kRestoreList = {0, 0, 0, 8, 0x53, 0, 0, 0, 0, 0, 0x08, 0x00};

class EngineSessionsTest : public EngineTest {
  protected:
    std::shared_ptr<FakeSystem> fake_ = std::make_shared<FakeSystem>();

    FakeUnit& unit() { return fake_->units[0]; }

    int open(CdEngine& engine, std::uint8_t method = 0, ScsiAddress address = {0, 0, 0}) {
        const auto request = openRequest(address, method);
        return engine.getCDHandle(&request);
    }

    static std::uint8_t sessionMethod(const CdEngine& engine, int handle) {
        return engine.sessionTable()->slots[handle - 1].readMethod;
    }

    Bytes opcodes() const {
        Bytes result;
        for (const auto& command : fake_->commands) {
            result.push_back(command.cdb[0]);
        }
        return result;
    }
};

TEST_F(EngineSessionsTest, WithoutAnyTransportEverythingFailsCleanly) {
    auto engine = nativeEngine(fake_);  // no module, no drive
    EXPECT_EQ(engine->activeTransport(), ActiveTransport::None);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNoTransport);
    EXPECT_EQ(engine->getLastScsiStatus(), 0) << "nothing was sent yet";
    EXPECT_EQ(engine->getLastScsiStatus(), 1) << "a reset status reads as completed";

    EXPECT_EQ(engine->getAdapterCount(), -1);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), 0);

    SRB_HAInquiry inquiry{};
    EXPECT_EQ(engine->sendScsiRequest(&inquiry), SS_NO_ASPI);
    EXPECT_EQ(inquiry.SRB_Status, SS_NO_ASPI);

    CdDriveList list{};
    list.capacity = 8;
    EXPECT_EQ(engine->enumCdDrives(list), 1);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNoCdRom);
    EXPECT_EQ(open(*engine), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNotCdRom);

    // The session table is there even so, with its size and layout version.
    ASSERT_NE(engine->sessionTable(), nullptr);
    EXPECT_EQ(engine->sessionTable()->size, 1804u);
    EXPECT_EQ(engine->sessionTable()->version, 2u);
}

TEST_F(EngineSessionsTest, StartUpWaitsForAnotherProcessStartingAndGivesUpUntouched) {
    using namespace std::chrono_literals;
    fake_->addUnit(0, 0, 0, 0);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t starter = fork();
    if (starter == 0) {
        // Another copy in the middle of its start-up; it ends when the test lets go.
        close(release[1]);
        auto lock = NamedMutex::openOrCreate("CordaneDllMainMutex");
        char byte = lock && lock->lock(1000ms) ? 'y' : 'n';
        static_cast<void>(write(ready[1], &byte, 1));
        static_cast<void>(read(release[0], &byte, 1));
        _exit(0);
    }
    close(release[0]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    CdEngineOptions options;
    options.aspiLibrary = "/nonexistent/libwnaspi32.so";
    options.system = fake_;
    CdEngine engine(options);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(engine.initCdEngine());
    EXPECT_GE(std::chrono::steady_clock::now() - started, 14s);
    EXPECT_EQ(engine.activeTransport(), ActiveTransport::None);
    EXPECT_EQ(engine.sessionTable(), nullptr);
    EXPECT_TRUE(fake_->opened.empty()) << "no drive is touched before start-up holds its lock";

    // Once the other start-up is done this one goes through.
    close(release[1]);
    waitpid(starter, nullptr, 0);
    EXPECT_TRUE(engine.initCdEngine());
    EXPECT_EQ(engine.activeTransport(), ActiveTransport::Native);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(EngineSessionsTest, OpenRefusesBadRequestsDuplicatesUnknownDevicesAndTheSeventeenth) {
    for (int i = 0; i < 17; ++i) {
        fake_->addUnit(i, 0, static_cast<std::uint8_t>(i / 8), static_cast<std::uint8_t>(i % 8));
    }
    auto engine = nativeEngine(fake_);
    EXPECT_EQ(engine->getCDHandle(nullptr), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNoRequest);
    auto request = openRequest({0, 0, 0});
    request.version = 2;
    EXPECT_EQ(engine->getCDHandle(&request), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrBadRequest);
    request = openRequest({0, 0, 0});
    request.size = 11;
    EXPECT_EQ(engine->getCDHandle(&request), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrBadRequest);
    EXPECT_EQ(open(*engine, 0, {0, 7, 7}), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNotCdRom);

    std::set<int> handles;
    for (int i = 0; i < 16; ++i) {
        const int handle = open(
            *engine, 0, {0, static_cast<std::uint8_t>(i / 8), static_cast<std::uint8_t>(i % 8)});
        ASSERT_GE(handle, 1);
        ASSERT_LE(handle, 16);
        handles.insert(handle);
    }
    EXPECT_EQ(handles.size(), 16u);
    EXPECT_EQ(open(*engine, 0, {0, 0, 0}), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrAlreadyOpen);
    EXPECT_EQ(open(*engine, 0, {0, 2, 0}), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNoFreeSlot);

    // A freed slot is found again; the search starts after the last slot handed out.
    ASSERT_EQ(engine->closeCDHandle(3), 1);
    EXPECT_EQ(engine->closeCDHandle(3), 0) << "closing twice";
    EXPECT_EQ(engine->getLastCdError(), 0) << "closing a closed handle records nothing";
    EXPECT_EQ(open(*engine, 0, {0, 2, 0}), 3);
}

TEST_F(EngineSessionsTest, SessionsAreSharedWithOtherProcessesAndFreedWhenTheirOwnerDies) {
    fake_->addUnit(0, 0, 0, 0);
    fake_->addUnit(1, 0, 1, 0);
    auto engine = nativeEngine(fake_);
    ASSERT_EQ(open(*engine, 0, {0, 0, 0}), 1);

    // Another process running the engine cannot open the same drive.
    EXPECT_EQ(inChild([&] {
                  auto other = nativeEngine(fake_);
                  const int handle = open(*other, 0, {0, 0, 0});
                  return handle == 0 && other->getLastCdError() == kCdErrAlreadyOpen ? 0 : 1;
              }),
              0);

    // A process that dies with a session open does not keep its drive for ever.
    EXPECT_EQ(inChild([&] {
                  auto other = nativeEngine(fake_);
                  return open(*other, 0, {0, 1, 0}) > 0 ? 0 : 1;  // exits without closing
              }),
              0);
    EXPECT_GT(open(*engine, 0, {0, 1, 0}), 0);
}

TEST_F(EngineSessionsTest, ReadCommandBlocksPerMethod) {
    fake_->addUnit(0, 0, 0, 2);
    auto engine = nativeEngine(fake_);
    struct Case {
        std::uint8_t method;
        Bytes read;
        std::uint32_t dataLength;
    };
    // Start frame 0x012345, 26 frames, 30 frames of room.
    const std::uint32_t capacity = 30 * 2352;
    const Case cases[] = {
        {1, {0xBE, 0, 0, 0x01, 0x23, 0x45, 0, 0, 26, 0x10, 0, 0}, capacity},
        {2, {0xBE, 0, 0, 0x01, 0x23, 0x45, 0, 0, 26, 0xF8, 0, 0}, capacity},
        {3, {0x28, 0x40, 0, 0x01, 0x23, 0x45, 0, 0, 26, 0}, capacity},
        {5, {0xD8, 0, 0, 0x01, 0x23, 0x45, 0, 0, 0, 26, 0, 0}, 26 * 2352},
        {6, {0xD4, 0, 0, 0x01, 0x23, 0x45, 0, 0, 26, 0}, capacity},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.method});
        const int handle = open(*engine, c.method, {0, 0, 2});
        ASSERT_GT(handle, 0);
        auto buffer = FrameBuffer::forFrames(30);
        buffer.frameCount = 26;
        buffer.startFrame = 0x012345;
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        const FakeCommand& read = fake_->commands.back();
        EXPECT_EQ(read.cdb, c.read);
        EXPECT_EQ(read.dataLength, c.dataLength);
        EXPECT_EQ(buffer.length, 26u * 2352);
        EXPECT_EQ(buffer.status, 1u);
        EXPECT_EQ(buffer.data[2352 * 26 - 1],
                  FakeSystem::audioByte(0x012345ull * 2352 + 2352 * 26 - 1));
        engine->closeCDHandle(handle);
    }
}

TEST_F(EngineSessionsTest, ControlCommandBlocks) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    const int handle = open(*engine);
    DiscToc toc{};
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    EXPECT_EQ(fake_->commands.back().cdb, (Bytes{0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}));
    EXPECT_EQ(fake_->commands.back().dataLength, 804u);
    ASSERT_EQ(engine->setCdOption(handle, kCdOptionMsf, 1), 1);
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    EXPECT_EQ(fake_->commands.back().cdb[1], 0x02);
    ASSERT_EQ(engine->setCdOption(handle, kCdOptionSpeed, 1408), 1);
    EXPECT_EQ(fake_->commands.back().cdb, (Bytes{0xBB, 0, 0x05, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(engine->pauseResumeCD(handle, false), 1);
    EXPECT_EQ(fake_->commands.back().cdb, (Bytes{0x4B, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    ASSERT_EQ(engine->playAudioMsf(handle, 1, 2, 3, 4, 5, 6), 1);
    EXPECT_EQ(fake_->commands.back().cdb, (Bytes{0x47, 0, 0, 1, 2, 3, 4, 5, 6, 1}));
    ASSERT_EQ(engine->stopCD(handle), 1);
    EXPECT_EQ(fake_->commands.back().cdb, (Bytes{0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 1}));

    ASSERT_EQ(engine->setCdOption(handle, kCdOptionOverlap, 3), 1);
    ASSERT_EQ(engine->setCdOption(handle, kCdOptionJitterCheck, 1), 1);
    ASSERT_EQ(engine->setCdOption(handle, kCdOptionJitterMode, 2), 1);
    const DriveSession& session = engine->sessionTable()->slots[handle - 1];
    EXPECT_EQ(session.overlapFrames, 3u);
    EXPECT_EQ(session.jitterCheckFrames, 1u);
    EXPECT_EQ(session.jitterMode, 2u);
    EXPECT_EQ(engine->setCdOption(handle, 0x30, 1), 0) << "unknown key";
    EXPECT_EQ(engine->setCdOption(17, kCdOptionMsf, 1), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrInvalidHandle);

    // A drive that refuses the speed leaves the session usable.
    unit().refused = {0xBB};
    EXPECT_EQ(engine->setCdOption(handle, kCdOptionSpeed, 0xFFFF), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->stopCD(handle), 1);
}

TEST_F(EngineSessionsTest, BadBuffersAreRefusedBeforeAnyCommand) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    for (std::uint8_t method : {0, 1, 3, 5, 6}) {
        SCOPED_TRACE(int{method});
        const int handle = open(*engine, method);
        fake_->commands.clear();
        auto buffer = FrameBuffer::forFrames(4);
        buffer.capacity -= 1;
        EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
        EXPECT_EQ(engine->getLastCdError(), kCdErrBufferTooSmall);
        // A capacity the data area does not really have is no way around the check.
        buffer = FrameBuffer::forFrames(4);
        buffer.data.resize(3 * 2352);
        EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
        EXPECT_EQ(engine->getLastCdError(), kCdErrBufferTooSmall);
        // One command carries the low 8 bits of the count; more frames would be lost.
        buffer = FrameBuffer::forFrames(256);
        EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
        EXPECT_EQ(engine->getLastCdError(), kCdErrBadFrameCount);
        EXPECT_TRUE(fake_->commands.empty());
        engine->closeCDHandle(handle);
    }
    auto buffer = FrameBuffer::forFrames(1);
    EXPECT_EQ(engine->readCDAudio(0, buffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrInvalidHandle);
    EXPECT_EQ(engine->readCDAudio(5, buffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrInvalidHandle);
}

TEST_F(EngineSessionsTest, SetUpsRunOnceAndCloseRestoresOnlyAfterReadTenMethods) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    const std::map<int, Bytes> expected = {
        {1, {0x00, 0xBE, 0x00, 0xBE}},
        {2, {0x00, 0xBE, 0x00, 0xBE}},
        {3, {0x15, 0x28, 0x28, 0x15}},
        {4, {0x15, 0x28, 0x28, 0x15}},
        {5, {0x4B, 0xD8, 0xD8}},
        {6, {0x4B, 0xD4, 0xD4}},
        {7, {0x4B, 0x15, 0xD4, 0xD4}},
        // Method 8 first reads the two pages it changes, and its restore puts them back.
        {8, {0x1A, 0x1A, 0x15, 0x15, 0x28, 0x28, 0x15, 0x15, 0x15}},
    };
    const auto pagesBefore = unit().modePages;
    for (const auto& [method, sequence] : expected) {
        SCOPED_TRACE(method);
        const int handle = open(*engine, static_cast<std::uint8_t>(method));
        fake_->commands.clear();
        auto buffer = FrameBuffer::forFrames(2);
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        ASSERT_EQ(engine->closeCDHandle(handle), 1);
        EXPECT_EQ(opcodes(), sequence);
        const bool restores = method == 3 || method == 4 || method == 8;
        if (restores) {
            const std::size_t blockRestore = fake_->commands.size() - (method == 8 ? 3 : 1);
            EXPECT_EQ(fake_->commands[blockRestore].dataOut, kRestoreList);
            EXPECT_EQ(unit().blockLength, 2048u);
        }
        if (method == 8) {
            EXPECT_EQ(fake_->commands[0].cdb, (Bytes{0x1A, 0, 0x01, 0, 0xFF, 0}));
            EXPECT_EQ(fake_->commands[2].cdb, (Bytes{0x15, 0x10, 0, 0, 0x14, 0}));
            EXPECT_EQ(fake_->commands[2].dataOut[12], 0x23);
            EXPECT_EQ(fake_->commands[3].dataOut[12], 0x01);
        }
        // Every page a set-up changed is as it was once the session is closed.
        EXPECT_EQ(unit().modePages, pagesBefore);
        if (method == 7) {
            EXPECT_EQ(fake_->commands[1].cdb, (Bytes{0x15, 0x10, 0, 0, 0x08, 0}));
        }
    }
}

TEST_F(EngineSessionsTest, FailedSetUpFailsTheReadAndIsTriedAgain) {
    fake_->addUnit(0, 0, 0, 0).refused = {0x15};
    auto engine = nativeEngine(fake_);
    const int handle = open(*engine, 3);
    auto buffer = FrameBuffer::forFrames(1);
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
    unit().refused.clear();
    fake_->commands.clear();
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 1);
    EXPECT_EQ(opcodes(), (Bytes{0x15, 0x28}));
}

TEST_F(EngineSessionsTest, AutomaticChoiceSkipsRefusedAndSilentReadCd) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "refused");
        unit().refused.clear();
        unit().silent.clear();
        (silent ? unit().silent : unit().refused) = {0xBE};
        const int handle = open(*engine);
        auto buffer = FrameBuffer::forFrames(3);
        buffer.startFrame = 100;
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        EXPECT_EQ(sessionMethod(*engine, handle), 8);
        EXPECT_EQ(buffer.data[7], FakeSystem::audioByte(100 * 2352 + 7));
        // Three probes of method 2, three of method 1, then method 8 at its first probe.
        const Bytes sent = opcodes();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0xBE), 6);
        // Later reads keep the method without probing.
        fake_->commands.clear();
        ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
        EXPECT_EQ(opcodes(), (Bytes{0x28}));
        engine->closeCDHandle(handle);
    }
}

// Frames beyond the disc are refused by every method: such a refusal ends the choice at once,
// without trying (and setting up) the other methods, and the next read chooses afresh.
TEST_F(EngineSessionsTest, AReadPastTheDiscsEndIsNotCountedAgainstAReadMethod) {
    fake_->addUnit(0, 0, 0, 0).leadOut = 100;
    auto engine = nativeEngine(fake_);
    const auto pagesBefore = unit().modePages;
    const int handle = open(*engine);
    fake_->commands.clear();
    auto buffer = FrameBuffer::forFrames(10);
    buffer.startFrame = 95;
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
    EXPECT_EQ(engine->lastSense().key(), 0x05);
    EXPECT_EQ(engine->lastSense().asc(), 0x21);
    EXPECT_EQ(opcodes(), (Bytes{0x00, 0xBE})) << "one probe, no other method";
    EXPECT_EQ(sessionMethod(*engine, handle), 0);
    EXPECT_EQ(unit().modePages, pagesBefore);
    EXPECT_EQ(unit().blockLength, 2048u);

    fake_->commands.clear();
    buffer.startFrame = 90;
    ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
    EXPECT_EQ(sessionMethod(*engine, handle), 2);
    EXPECT_EQ(opcodes(), (Bytes{0x00, 0xBE}));
}

TEST_F(EngineSessionsTest, AutomaticChoiceRestoresBlockLengthOfMethodsItGivesUp) {
    fake_->addUnit(0, 0, 0, 0).refused = {0xBE, 0x28};
    auto engine = nativeEngine(fake_);
    const auto pagesBefore = unit().modePages;
    const int handle = open(*engine);
    auto buffer = FrameBuffer::forFrames(1);
    ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
    EXPECT_EQ(sessionMethod(*engine, handle), 5);
    EXPECT_EQ(unit().blockLength, 2048u) << "method 8 and 4 changed it and were given up";
    EXPECT_EQ(unit().modePages, pagesBefore) << "method 8 changed pages 01 and 23";
    fake_->commands.clear();
    ASSERT_EQ(engine->closeCDHandle(handle), 1);
    EXPECT_TRUE(fake_->commands.empty()) << "method 5 has nothing to restore";
}

TEST_F(EngineSessionsTest, DriveThatRefusesEveryMethodKeepsChoosingAndFails) {
    fake_->addUnit(0, 0, 0, 0).refused = {0xBE, 0x28, 0xD8, 0xD4};
    auto engine = nativeEngine(fake_);
    const int handle = open(*engine);
    auto buffer = FrameBuffer::forFrames(1);
    for (int read = 0; read < 2; ++read) {
        fake_->commands.clear();
        EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
        EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
        EXPECT_EQ(sessionMethod(*engine, handle), 0);
        // Every read probes all seven methods three times again.
        const auto sent = opcodes();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0xBE), 6);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x28), 6);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0xD8), 3);
        EXPECT_EQ(std::count(sent.begin(), sent.end(), 0xD4), 6);
    }
}

}  // namespace
}  // namespace tonalda::testing
