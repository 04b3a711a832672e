// The engine through the ASPI transport: the virtual drive module and small modules that
// misbehave the way real ones do.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "cdaccess/aspi_abi.h"
#include "engine_fixture.h"

namespace tonalda::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Two audio tracks of 10 and 5 seconds.
constexpr const char* kDisc = "gen:seed 3/track audio 0:10/track audio 0:05";

std::string testModule(const std::string& name) {
    return std::string(CDACCESS_TEST_MODULES) + "/" + name + ".so";
}

class VirtualDriveTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        copies_ = fs::temp_directory_path() / ("tonalda-vdrive-" + prefix_);
        fs::create_directories(copies_);
    }
    void TearDown() override {
        fs::remove_all(copies_);
        unsetenv("TONALDA_VDRIVE");
        EngineTest::TearDown();
    }

    // An engine over a private copy of the virtual drive module serving these drives (a module
    // reads its drive list once, so each list needs a module instance of its own).
    std::unique_ptr<CdEngine> engineFor(const std::string& drives) {
        static int copies = 0;
        const fs::path copy = test::copyVirtualDriveModule(copies_ / std::to_string(copies++));
        setenv("TONALDA_VDRIVE", drives.c_str(), 1);
        module_ = copy.string();
        auto engine = engineWithModule(module_);
        EXPECT_EQ(engine->activeTransport(), ActiveTransport::Aspi);
        engine->getAdapterCount();  // the module reads its drive list now
        return engine;
    }

    std::unique_ptr<CdEngine> engineWithModule(const std::string& module) {
        CdEngineOptions options;
        options.aspiLibrary = module;
        options.system = fake_;
        auto engine = std::make_unique<CdEngine>(options);
        EXPECT_TRUE(engine->initCdEngine());
        return engine;
    }

    static int open(CdEngine& engine, ScsiAddress address, std::uint8_t method = 0) {
        const auto request = openRequest(address, method);
        return engine.getCDHandle(&request);
    }

    static FrameBuffer readFrames(CdEngine& engine, int handle, std::uint32_t start,
                                  std::uint32_t frames, std::uint32_t roomFrames = 0) {
        auto buffer = FrameBuffer::forFrames(std::max(frames, roomFrames));
        buffer.frameCount = frames;
        buffer.startFrame = start;
        EXPECT_EQ(engine.readCDAudio(handle, buffer), 1);
        return buffer;
    }

    std::shared_ptr<FakeSystem> fake_ = std::make_shared<FakeSystem>();
    fs::path copies_;
    std::string module_;  // the module of the last engineFor
};

TEST_F(VirtualDriveTest, ModuleWithoutAnEntryPointLeavesNoTransportAndNoFallback) {
    fake_->addUnit(0, 0, 0, 0);  // a native drive that must not be used
    const std::pair<const char*, CdError> cases[] = {
        {"no_send_command", kCdErrNoSendCommand},
        {"no_support_info", kCdErrNoSupportInfo},
    };
    for (const auto& [module, error] : cases) {
        SCOPED_TRACE(module);
        auto engine = engineWithModule(testModule(module));
        EXPECT_EQ(engine->activeTransport(), ActiveTransport::None);
        EXPECT_EQ(engine->getLastCdError(), error);
        EXPECT_TRUE(fake_->opened.empty()) << "the native transport was tried";
        CdDriveList list{};
        list.capacity = 8;
        engine->enumCdDrives(list);
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(engine->getLastCdError(), kCdErrNoCdRom);
        EXPECT_EQ(open(*engine, {0, 0, 0}), 0);
    }
}

TEST_F(VirtualDriveTest, EnumerationKeepsTheFirstEightCdRomsInAddressOrder) {
    // Nine CD-ROM drives listed out of order, and a disk that is not a CD-ROM drive.
    std::string drives = std::string(kDisc) + ",addr=0:0:0,type=0";
    for (const char* address :
         {"1:0:0", "0:3:0", "0:1:2", "0:1:0", "0:0:5", "1:2:0", "0:9:0", "2:0:0", "0:0:1"}) {
        drives += std::string(";") + kDisc + ",addr=" + address;
    }
    drives += ",vendor=ACME,product=CD-1000,revision=2.5";  // the one at 0:0:1
    auto engine = engineFor(drives);
    CdDriveList list{};
    list.capacity = 8;
    ASSERT_EQ(engine->enumCdDrives(list), 1);
    ASSERT_EQ(list.count, 8);
    const ScsiAddress expected[] = {{0, 0, 1}, {0, 0, 5}, {0, 1, 0}, {0, 1, 2},
                                    {0, 3, 0}, {0, 9, 0}, {1, 0, 0}, {1, 2, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(list.drives[i].address(), expected[i]) << "entry " << i;
    }
    // The drive's padding stays inside the name.
    EXPECT_STREQ(list.drives[0].vendor, "ACME    ");
    EXPECT_STREQ(list.drives[0].product, "CD-1000         ");
    EXPECT_STREQ(list.drives[0].revision, "2.5 ");
    EXPECT_STREQ(list.drives[0].displayName, "ACME    , CD-1000          v2.5  (0:0:1)");

    // A caller asking for more room than the list has still gets at most eight.
    list.capacity = 200;
    engine->enumCdDrives(list);
    EXPECT_EQ(list.count, 8);
    EXPECT_EQ(list.capacity, 200);
    // And one asking for two gets two.
    list.capacity = 2;
    engine->enumCdDrives(list);
    EXPECT_EQ(list.count, 2);
}

TEST_F(VirtualDriveTest, EnumerationReportsMissingAdaptersAndKeepsDrivesWithoutInquiry) {
    auto empty = engineFor("");
    CdDriveList list{};
    list.capacity = 8;
    EXPECT_EQ(empty->enumCdDrives(list), 1);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(empty->getLastCdError(), kCdErrNoAdapter);

    // A drive that refuses INQUIRY is listed with its address and empty texts.
    auto engine = engineFor(std::string(kDisc) + ",addr=0:4:0,refuse=12");
    std::memset(list.drives, 0x7F, sizeof list.drives);
    engine->enumCdDrives(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.drives[0].address(), (ScsiAddress{0, 4, 0}));
    EXPECT_STREQ(list.drives[0].displayName, "");
    EXPECT_STREQ(list.drives[0].vendor, "");
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
}

TEST_F(VirtualDriveTest, AdapterWithoutTargetCountIsScannedForEightTargets) {
    auto engine = engineWithModule(testModule("zero_targets"));
    CdDriveList list{};
    list.capacity = 8;
    engine->enumCdDrives(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.drives[0].address(), (ScsiAddress{0, 7, 0}));
}

TEST_F(VirtualDriveTest, DeviceTypesAndTheirNames) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0;" + kDisc + ",addr=0:1:0,type=12");
    std::uint8_t type = 0;
    char name[64];
    EXPECT_EQ(engine->getDeviceType({0, 0, 0}, &type, name, sizeof name), 1);
    EXPECT_EQ(type, 5);
    EXPECT_STREQ(name, "CD-ROM device");
    EXPECT_EQ(engine->getDeviceType({0, 1, 0}, &type, name, sizeof name), 1);
    EXPECT_EQ(type, 12);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(engine->getDeviceType({0, 2, 0}, &type, name, sizeof name), 0);
    EXPECT_EQ(type, 31);
    EXPECT_STREQ(name, "SS_NO_DEVICE");
    EXPECT_EQ(engine->getDeviceType({5, 0, 0}, &type, name, 4), 0);
    EXPECT_STREQ(name, "Unk") << "cut to the given length";
    EXPECT_EQ(engine->getDeviceType({0, 0, 0}, nullptr, nullptr, 0), 1);

    for (int t = 12; t <= 30; ++t) {
        EXPECT_STREQ(CdEngine::deviceTypeName(static_cast<std::uint8_t>(t)), "") << t;
    }
    EXPECT_STREQ(CdEngine::deviceTypeName(10), "ASC IT8 device");
    EXPECT_STREQ(CdEngine::deviceTypeName(11), "ASC IT8 device");
    EXPECT_STREQ(CdEngine::deviceTypeName(31), "Unknown or no device");
    EXPECT_STREQ(CdEngine::deviceTypeName(32), "");
}

TEST_F(VirtualDriveTest, OpenRefusesADeviceThatIsNoCdRomAndASecondOpenAnywhere) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0;" + kDisc + ",addr=0:1:0,type=4");
    EXPECT_EQ(open(*engine, {0, 1, 0}), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrNotCdRom);
    const int handle = open(*engine, {0, 0, 0});
    ASSERT_GT(handle, 0);
    EXPECT_EQ(open(*engine, {0, 0, 0}), 0);
    EXPECT_EQ(engine->getLastCdError(), kCdErrAlreadyOpen);
    const std::string module = module_;
    EXPECT_EQ(
        inChild([&] {
            auto other = engineWithModule(module);
            return open(*other, {0, 0, 0}) == 0 && other->getLastCdError() == kCdErrAlreadyOpen ? 0
                                                                                                : 1;
        }),
        0);
    ASSERT_EQ(engine->closeCDHandle(handle), 1);
    EXPECT_EQ(inChild([&] {
                  auto other = engineWithModule(module);
                  return open(*other, {0, 0, 0}) > 0 ? 0 : 1;
              }),
              0);
}

TEST_F(VirtualDriveTest, EveryReadMethodDeliversTheSameAudio) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0");
    int handle = open(*engine, {0, 0, 0}, 1);
    const FrameBuffer reference = readFrames(*engine, handle, 740, 20, 26);
    engine->closeCDHandle(handle);
    for (std::uint8_t method = 2; method <= 8; ++method) {
        SCOPED_TRACE(int{method});
        handle = open(*engine, {0, 0, 0}, method);
        const FrameBuffer buffer = readFrames(*engine, handle, 740, 20, 26);
        EXPECT_EQ(buffer.length, 20u * 2352);
        EXPECT_TRUE(std::equal(buffer.data.begin(), buffer.data.begin() + 20 * 2352,
                               reference.data.begin()));
        EXPECT_EQ(engine->closeCDHandle(handle), 1);
    }
    // A buffer one byte short is refused.
    handle = open(*engine, {0, 0, 0}, 5);
    auto shortBuffer = FrameBuffer::forFrames(4);
    shortBuffer.capacity -= 1;
    EXPECT_EQ(engine->readCDAudio(handle, shortBuffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrBufferTooSmall);
}

TEST_F(VirtualDriveTest, TableOfContentsInBothAddressModes) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0");
    const int handle = open(*engine, {0, 0, 0});
    DiscToc toc{};
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    EXPECT_EQ(toc.firstTrack, 1);
    EXPECT_EQ(toc.lastTrack, 2);
    ASSERT_EQ(toc.descriptorCount(), 3u);
    EXPECT_EQ(toc.tracks[0].lba(), 0u);
    EXPECT_EQ(toc.tracks[1].lba(), 750u);
    EXPECT_EQ(toc.tracks[2].trackNumber, kLeadOutTrack);
    EXPECT_EQ(toc.tracks[2].lba(), 1125u);
    ASSERT_EQ(engine->setCdOption(handle, kCdOptionMsf, 1), 1);
    ASSERT_EQ(engine->readTOC(handle, toc), 1);
    const std::uint8_t* msf = toc.tracks[1].address;
    EXPECT_EQ((std::array<std::uint8_t, 4>{msf[0], msf[1], msf[2], msf[3]}),
              (std::array<std::uint8_t, 4>{0, 0, 12, 0}));  // LBA 750 + 150
}

TEST_F(VirtualDriveTest, SubChannelFollowsPlayPauseResumeStopAndTheEndOfAPlay) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0,noaudio");
    const int handle = open(*engine, {0, 0, 0});
    SubChannelPosition position;
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::None);

    // Track 2 starts at LBA 750 = MSF 00:12:00; play from 00:13:00 (LBA 825) to the lead-out.
    ASSERT_EQ(engine->playAudioMsf(handle, 0, 13, 0, 0, 17, 0), 1);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::Playing);
    EXPECT_EQ(position.trackNumber, 2);
    EXPECT_EQ(position.index, 1);
    EXPECT_GE(position.absoluteLba, 825);
    EXPECT_LT(position.absoluteLba, 1125);
    EXPECT_EQ(position.relativeLba, position.absoluteLba - 750);

    ASSERT_EQ(engine->pauseResumeCD(handle, true), 1);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::Paused);
    const std::int32_t pausedAt = position.absoluteLba;
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.absoluteLba, pausedAt) << "a paused play does not move";

    ASSERT_EQ(engine->pauseResumeCD(handle, false), 1);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::Playing);
    ASSERT_EQ(engine->stopCD(handle), 1);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::None);

    // Five frames play out in well under the wait; the end is reported once.
    ASSERT_EQ(engine->playAudioMsf(handle, 0, 2, 0, 0, 2, 5), 1);
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::Completed);
    EXPECT_EQ(position.absoluteLba, 4);
    EXPECT_EQ(position.trackNumber, 1);
    ASSERT_EQ(engine->readSubChannel(handle, position), 1);
    EXPECT_EQ(position.audioStatus, AudioStatus::None);
    engine->closeCDHandle(handle);

    // Without a session nothing is sent.
    EXPECT_EQ(engine->readSubChannel(handle, position), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrInvalidHandle);
}

TEST_F(VirtualDriveTest, AutomaticChoiceOnDrivesThatRefuseOrFakeReadCd) {
    auto engine =
        engineFor(std::string(kDisc) + ",addr=0:0:0,refuse=BE;" + kDisc + ",addr=0:1:0,silent=BE;" +
                  kDisc + ",addr=0:2:0,refuse=BE,28,D8,D4;" + kDisc + ",addr=0:3:0");
    int handle = open(*engine, {0, 3, 0}, 1);
    const FrameBuffer reference = readFrames(*engine, handle, 10, 8);
    engine->closeCDHandle(handle);

    for (std::uint8_t target : {0, 1}) {
        SCOPED_TRACE(int{target});
        handle = open(*engine, {0, target, 0});
        const FrameBuffer buffer = readFrames(*engine, handle, 10, 8);
        EXPECT_EQ(engine->sessionTable()->slots[handle - 1].readMethod, 8);
        EXPECT_EQ(buffer.data, reference.data);
    }

    handle = open(*engine, {0, 2, 0});
    auto buffer = FrameBuffer::forFrames(8);
    for (int read = 0; read < 2; ++read) {
        EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
        EXPECT_EQ(engine->sessionTable()->slots[handle - 1].readMethod, 0);
    }
}

TEST_F(VirtualDriveTest, ClosingRestoresTheBlockLengthOnlyAfterReadTenMethods) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0");
    const ScsiAddress drive{0, 0, 0};
    std::array<std::uint8_t, 2352> frame{};
    ScsiCommand read10;
    read10.cdb = {0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0};
    read10.cdbLength = 10;
    read10.flags = SRB_DIR_IN;
    read10.data = frame.data();
    read10.dataLength = frame.size();

    for (std::uint8_t method : {3, 4, 8}) {
        SCOPED_TRACE(int{method});
        const int handle = open(*engine, drive, method);
        readFrames(*engine, handle, 5, 1);
        EXPECT_EQ(engine->executeScsi(drive, read10), 1) << "in 2352-byte blocks while open";
        ASSERT_EQ(engine->closeCDHandle(handle), 1);
        EXPECT_EQ(engine->executeScsi(drive, read10), 4) << "back to 2048-byte blocks";
    }
    // Put the drive in 2352-byte blocks by hand: sessions of other methods leave that alone.
    std::array<std::uint8_t, 12> list = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30};
    ScsiCommand select;
    select.cdb = {0x15, 0, 0, 0, 12, 0};
    select.cdbLength = 6;
    select.data = list.data();
    select.dataLength = list.size();
    for (std::uint8_t method : {1, 2, 5, 6, 7}) {
        SCOPED_TRACE(int{method});
        ASSERT_EQ(engine->executeScsi(drive, select), 1);
        const int handle = open(*engine, drive, method);
        readFrames(*engine, handle, 5, 1);
        ASSERT_EQ(engine->closeCDHandle(handle), 1);
        EXPECT_EQ(engine->executeScsi(drive, read10), 1);
    }
}

TEST_F(VirtualDriveTest, SessionLockHeldByAnotherProcessTimesOut) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0");
    const int handle = open(*engine, {0, 0, 0});
    ASSERT_GT(handle, 0);
    char lockName[32];
    std::snprintf(lockName, sizeof lockName, "cordane32_cdMtx%02d", handle - 1);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        auto lock = NamedMutex::openOrCreate(lockName);
        const bool held = lock && lock->lock(1000ms);
        char byte = held ? 'y' : 'n';
        static_cast<void>(write(ready[1], &byte, 1));
        pause();  // holds the lock until killed
        _exit(0);
    }
    // The holder never outlives the test, whatever fails.
    struct Killer {
        pid_t pid;
        void operator()() {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                pid = 0;
            }
        }
        ~Killer() { (*this)(); }
    } killHolder{holder};
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    auto buffer = FrameBuffer::forFrames(1);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrLockTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 9s);

    // Once the holder is gone its lock is recovered and the session works again.
    killHolder();
    EXPECT_EQ(engine->readCDAudio(handle, buffer), 1);
    EXPECT_EQ(engine->closeCDHandle(handle), 1);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(VirtualDriveTest, RequestPendingTooLongFails) {
    auto engine = engineFor(std::string(kDisc) + ",addr=0:0:0,delay=5000");
    const int handle = open(*engine, {0, 0, 0}, 1);
    engine->getLastCdError();
    DiscToc toc{};
    EXPECT_EQ(engine->readTOC(handle, toc), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_PENDING);
    EXPECT_EQ(toc.firstTrack, 0) << "an aborted request delivers nothing";
}

TEST_F(VirtualDriveTest, LateCompletionNeverWritesIntoTheCallersBuffer) {
    auto engine = engineWithModule(testModule("slow_completion"));
    std::array<std::uint8_t, 64> data;
    data.fill(0x11);
    ScsiCommand command;
    command.cdb = {0x12, 0, 0, 0, 64, 0};
    command.cdbLength = 6;
    command.flags = SRB_DIR_IN;
    command.data = data.data();
    command.dataLength = data.size();
    EXPECT_EQ(engine->executeScsi({0, 0, 0}, command), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_PENDING);
    // Wait until the module has really completed the request (4500 ms after it was sent).
    void* module = dlopen(testModule("slow_completion").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    auto completions = reinterpret_cast<int (*)()>(dlsym(module, "SlowCompletionsDone"));
    ASSERT_NE(completions, nullptr);
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (completions() == 0 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(completions(), 1);
    dlclose(module);
    EXPECT_EQ(std::count(data.begin(), data.end(), 0x11), 64);
}

}  // namespace
}  // namespace tonalda::testing
