#include "cdaccess/native_transport.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstring>

#include "cdaccess/aspi_abi.h"
#include "engine_fixture.h"

namespace tonalda::testing {
namespace {

class NativeTransportTest : public EngineTest {
  protected:
    std::shared_ptr<FakeSystem> fake_ = std::make_shared<FakeSystem>();

    std::size_t commandsWithOpcode(std::uint8_t opcode) const {
        return std::count_if(fake_->commands.begin(), fake_->commands.end(),
                             [&](const FakeCommand& c) { return c.cdb[0] == opcode; });
    }
};

TEST_F(NativeTransportTest, DiscoveryMapsLettersToSrDevicesAndSkipsDrivesWithoutAddress) {
    fake_->addUnit(0, 1, 2, 0);                      // C:
    fake_->units[1].cdRom = false;                   // D: is a disk
    fake_->addUnit(2, 0, 5, 1);                      // E:
    fake_->addUnit(3, 3, 0, 0).idLunError = EINVAL;  // F: answers INQUIRY but not the address

    NativeTransport transport(fake_);
    EXPECT_EQ(transport.discover(), 2);
    const auto& table = transport.table();
    EXPECT_TRUE(table.entries[2].present);
    EXPECT_EQ(table.entries[2].address, (ScsiAddress{1, 2, 0}));
    EXPECT_FALSE(table.entries[3].present);
    EXPECT_TRUE(table.entries[4].present);
    EXPECT_EQ(table.entries[4].address, (ScsiAddress{0, 5, 1}));
    EXPECT_FALSE(table.entries[5].present);
    EXPECT_EQ(table.adapterCount, 2);  // one above the highest present adapter
    EXPECT_EQ(transport.adapterCount().count, 2);
    EXPECT_EQ(transport.adapterCount().status, SS_COMP);
    EXPECT_EQ(fake_->opened, (std::vector<std::string>{"/dev/sr0", "/dev/sr2", "/dev/sr3"}));
    // Identification closes every device again; handles open lazily later.
    EXPECT_TRUE(fake_->openDescriptors.empty());
    for (const auto& entry : table.entries) {
        EXPECT_EQ(entry.fd, -1);
    }

    // Through the engine the drive without an address is not listed.
    auto engine = nativeEngine(fake_);
    ASSERT_EQ(engine->activeTransport(), ActiveTransport::Native);
    CdDriveList list{};
    list.capacity = 8;
    engine->enumCdDrives(list);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.drives[0].address(), (ScsiAddress{0, 5, 1}));
    EXPECT_EQ(list.drives[1].address(), (ScsiAddress{1, 2, 0}));
}

// USB drives plugged in over time get ever higher SCSI host numbers; the last one a byte holds
// must still count as an adapter, not wrap the count to "no adapter".
TEST_F(NativeTransportTest, DriveOnHost255IsListed) {
    fake_->addUnit(0, 255, 0, 0, "USB", "Drive");
    auto engine = nativeEngine(fake_);
    ASSERT_EQ(engine->activeTransport(), ActiveTransport::Native);
    EXPECT_EQ(engine->nativeTransport()->table().adapterCount, 256);
    EXPECT_EQ(engine->getAdapterCount(), 256);

    engine->getLastCdError();
    CdDriveList list{};
    list.capacity = 8;
    engine->enumCdDrives(list);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.drives[0].address(), (ScsiAddress{255, 0, 0}));
    EXPECT_STREQ(list.drives[0].displayName, "USB     , Drive            v1.00 (255:0:0)");
    EXPECT_EQ(engine->getLastCdError(), kCdErrNone);

    // The reply's count field is a byte: it says as much as a byte can.
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 255;
    EXPECT_EQ(engine->sendScsiRequest(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 255);
}

TEST_F(NativeTransportTest, AdapterInquiryGivesTheFixedReplies) {
    fake_->addUnit(0, 0, 0, 0);
    NativeTransport transport(fake_);
    transport.discover();

    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    ASSERT_EQ(transport.send(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 1);
    EXPECT_EQ(inquiry.HA_SCSI_ID, 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_ManagerId), 16), "CRASPI v0.000001");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_Identifier), 16), "SCSI Adapter 0  ");
    EXPECT_EQ(inquiry.HA_Unique[3], 8);
    EXPECT_EQ(inquiry.HA_Unique[4] | inquiry.HA_Unique[5] << 8 | inquiry.HA_Unique[6] << 16 |
                  inquiry.HA_Unique[7] << 24,
              65536);

    inquiry = {};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 1;
    EXPECT_EQ(transport.send(&inquiry), SS_INVALID_HA);

    SRB_GDEVBlock type{};
    type.SRB_Cmd = SC_GET_DEV_TYPE;
    type.SRB_Target = 3;
    EXPECT_EQ(transport.send(&type), SS_NO_DEVICE);
    EXPECT_EQ(type.SRB_DeviceType, 0x1F);
}

TEST_F(NativeTransportTest, InquiryIsAnsweredFromTheCacheWhateverLengthIsAsked) {
    fake_->addUnit(0, 0, 1, 0, "VENDOR", "PRODUCT NAME");
    auto engine = nativeEngine(fake_);
    const std::size_t sentAtDiscovery = fake_->commands.size();

    CdDriveEntry entry{};
    ASSERT_EQ(engine->inquireDrive({0, 1, 0}, entry), 1);
    EXPECT_STREQ(entry.vendor, "VENDOR  ");
    EXPECT_STREQ(entry.displayName, "VENDOR  , PRODUCT NAME     v1.00 (0:1:0)");

    // A short buffer gets only what fits; bytes after it stay untouched.
    std::array<std::uint8_t, 12> shortReply;
    shortReply.fill(0xEE);
    ScsiCommand inquiry;
    inquiry.cdb = {0x12, 0, 0, 0, 8, 0};
    inquiry.cdbLength = 6;
    inquiry.flags = SRB_DIR_IN;
    inquiry.data = shortReply.data();
    inquiry.dataLength = 8;
    ASSERT_EQ(engine->executeScsi({0, 1, 0}, inquiry), 1);
    EXPECT_EQ(std::memcmp(shortReply.data(), fake_->units[0].inquiry.data(), 8), 0);
    EXPECT_EQ(shortReply[8], 0xEE);
    EXPECT_EQ(fake_->commands.size(), sentAtDiscovery) << "INQUIRY must not reach the device";
}

TEST_F(NativeTransportTest, MediaChangeReidentifiesOnceAndRetriesOnce) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    const auto request = openRequest({0, 0, 0}, 1);
    const int handle = engine->getCDHandle(&request);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(fake_->openDescriptors.size(), 1u) << "a session opens the device";
    const int firstFd = fake_->openDescriptors.begin()->first;

    // TEST UNIT READY meets the change; the drive is identified again and TUR sent again.
    fake_->units[0].mediaChanges = 1;
    fake_->commands.clear();
    auto buffer = FrameBuffer::forFrames(2);
    buffer.startFrame = 10;
    ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
    ASSERT_EQ(fake_->commands.size(), 4u);
    EXPECT_EQ(fake_->commands[0].cdb[0], 0x00);
    EXPECT_EQ(fake_->commands[1].cdb[0], 0x12);  // re-identification
    EXPECT_EQ(fake_->commands[2].cdb[0], 0x00);  // the retry
    EXPECT_EQ(fake_->commands[3].cdb[0], 0xBE);
    EXPECT_NE(std::find(fake_->closed.begin(), fake_->closed.end(), firstFd), fake_->closed.end());
    EXPECT_EQ(buffer.data[5], FakeSystem::audioByte(10 * 2352 + 5));

    // A change reported again on the retry is not retried a second time.
    fake_->units[0].mediaChanges = 2;
    fake_->commands.clear();
    engine->getLastCdError();
    ScsiCommand stop;
    stop.cdb = {0x1B};
    stop.cdbLength = 10;
    EXPECT_EQ(engine->executeScsi({0, 0, 0}, stop), 4);
    EXPECT_EQ(fake_->commands.size(), 3u);  // command, INQUIRY, retry
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);
}

TEST_F(NativeTransportTest, StaleDescriptorIsReplacedWithoutClosingIt) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    const auto request = openRequest({0, 0, 0}, 1);
    const int handle = engine->getCDHandle(&request);
    ASSERT_GT(handle, 0);
    const int staleFd = fake_->openDescriptors.begin()->first;
    fake_->closed.clear();

    fake_->units[0].staleDescriptor = 1;
    ScsiCommand pause;
    pause.cdb = {0x4B};
    pause.cdbLength = 10;
    EXPECT_EQ(engine->executeScsi({0, 0, 0}, pause), 1);
    EXPECT_EQ(std::count(fake_->closed.begin(), fake_->closed.end(), staleFd), 0)
        << "the number of a stale descriptor may belong to someone else by now";
}

TEST_F(NativeTransportTest, CommandsTheDriveEndsWithAnErrorFailWithTheirSense) {
    fake_->addUnit(0, 0, 0, 0).refused = {0x47};
    auto engine = nativeEngine(fake_);
    const auto request = openRequest({0, 0, 0}, 1);
    const int handle = engine->getCDHandle(&request);
    ASSERT_GT(handle, 0);
    engine->getLastCdError();
    EXPECT_EQ(engine->playAudioMsf(handle, 0, 2, 0, 1, 0, 0), 4);
    EXPECT_EQ(engine->getLastCdError(), kCdErrRequestFailed);
    EXPECT_EQ(engine->getLastScsiStatus(), SS_ERR);

    SRB_ExecSCSICmd srb = commandRecord({0x47, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(engine->sendScsiRequest(&srb), SS_ERR);
    EXPECT_EQ(srb.SRB_TargStat, 0x02);
    EXPECT_EQ(srb.SenseArea[2], 0x05);
    EXPECT_EQ(srb.SenseArea[12], 0x20);
}

TEST_F(NativeTransportTest, DeviceIsOpenedReadOnlyWhenWritingIsRefused) {
    fake_->addUnit(0, 0, 0, 0).readWriteRefused = true;
    auto engine = nativeEngine(fake_);
    EXPECT_EQ(engine->activeTransport(), ActiveTransport::Native);
    CdDriveList list{};
    list.capacity = 8;
    engine->enumCdDrives(list);
    EXPECT_EQ(list.count, 1);
}

TEST_F(NativeTransportTest, DirectionsFollowTheFlagsAndModeSelectSendsItsList) {
    fake_->addUnit(0, 0, 0, 0);
    auto engine = nativeEngine(fake_);
    const auto request = openRequest({0, 0, 0}, 3);
    const int handle = engine->getCDHandle(&request);
    auto buffer = FrameBuffer::forFrames(1);
    fake_->commands.clear();
    ASSERT_EQ(engine->readCDAudio(handle, buffer), 1);
    ASSERT_EQ(fake_->commands.size(), 2u);
    EXPECT_EQ(fake_->commands[0].direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(fake_->commands[0].dataOut,
              (std::vector<std::uint8_t>{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30}));
    EXPECT_EQ(fake_->commands[1].direction, SG_DXFER_FROM_DEV);
    ASSERT_EQ(engine->setCdSpeed(handle, 0xFFFF), 1);
    EXPECT_EQ(fake_->commands.back().direction, SG_DXFER_NONE);
}

}  // namespace
}  // namespace tonalda::testing

namespace tonalda::testing {
namespace {

// The system's own calls report failures as errno values, never as success.
TEST(LinuxSystemCallsTest, FailuresComeBackAsErrnoValues) {
    auto system = realSystemCalls();
    EXPECT_FALSE(system->isCdRom(250));
    EXPECT_EQ(system->open("/nonexistent/sr0", O_RDONLY), -ENOENT);
    const int fd = system->open("/dev/null", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    EXPECT_NE(system->sgIo(fd, header), 0);
    std::uint32_t packed = 0;
    EXPECT_NE(system->getIdLun(fd, packed), 0);
    system->close(fd);
}

}  // namespace
}  // namespace tonalda::testing
