// The CD-ROM settings group in the hive, and what it sends to a drive session.

#include "cdaccess/cdrom_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cdaccess/cd_engine.h"
#include "platform/registry.h"
#include "support/temp_dir.h"
#include "support/vdrive_fixture.h"

namespace tonalda {
namespace {

class CdRomSettingsTest : public ::testing::Test {
  protected:
    test::TempDir dir_;
    Registry registry_{dir_ / "registry.reg"};
};

TEST_F(CdRomSettingsTest, LoadStopsAtTheFirstMissingValue) {
    registry_.createKey(registryKeyPath(kCdRomGroup));
    auto key = registry_.openKey(registryKeyPath(kCdRomGroup), RegistryAccess::Write);
    key->writeDword("speed", 4);
    key->writeDword("Type", 2);
    key->writeDword("Buffer", 26);  // after the missing "Unit": never read
    CdRomSettings settings;
    settings.blockSize = 7;
    EXPECT_FALSE(settings.load(registry_));
    EXPECT_EQ(settings.speed, 4);
    EXPECT_EQ(settings.type, 2);
    EXPECT_EQ(settings.unit, 0);
    EXPECT_EQ(settings.blockSize, 7);

    CdRomSettings missingKey;
    Registry empty(dir_ / "empty.reg");
    EXPECT_FALSE(missingKey.load(empty));
    EXPECT_FALSE(missingKey.save(empty));  // the key is never created
    EXPECT_FALSE(empty.openKey(registryKeyPath(kCdRomGroup), RegistryAccess::Read));
}

TEST_F(CdRomSettingsTest, SaveWritesTheUpperCaseKeyAndReadsItBack) {
    registry_.createKey(registryKeyPath(kCdRomGroup));
    CdRomSettings settings{.type = 3,
                           .unit = -1,
                           .speed = 6,
                           .blockSize = 26,
                           .jitterCheck = 1,
                           .overlap = 3,
                           .always = 0,
                           .onError = 1,
                           .never = 0};
    ASSERT_TRUE(settings.save(registry_));
    auto key = registry_.openKey("SOFTWARE\\Quarrowind\\Tonalda\\CDROM", RegistryAccess::Read);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readDword("unit"), 0xFFFFFFFFu);  // no drive selected
    EXPECT_EQ(key->readDword("SPEED"), 6u);
    CdRomSettings loaded;
    ASSERT_TRUE(loaded.load(registry_));
    EXPECT_EQ(loaded, settings);
}

TEST(CdRomSpeed, ChoicesMapToKilobytesPerSecond) {
    const std::uint16_t expected[] = {176, 352, 704, 1408, 2816, 5632, 0xFFFF};
    for (int choice = 0; choice < 7; ++choice)
        EXPECT_EQ(speedKBps(choice), expected[choice]);
    EXPECT_EQ(speedKBps(-1), 0xFFFF);
    EXPECT_EQ(speedKBps(40), 0xFFFF);
}

TEST(CdRomDriveList, OneLinePerDriveWithTheRawInquiryFields) {
    CdDriveList drives{};
    drives.count = 9;  // more than the list can hold
    for (CdDriveEntry& drive : drives.drives) {
        std::memcpy(drive.vendor, "VEND    ", 8);
        std::memcpy(drive.product, "PROD            ", 16);
        std::memcpy(drive.revision, "1.0 ", 4);
    }
    std::memcpy(drives.drives[1].vendorSpecific, "spare", 5);
    const std::vector<std::string> lines = driveListLines(drives);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "VEND     PROD             1.0  ");
    EXPECT_EQ(lines[1], "VEND     PROD             1.0  spare");
    drives.count = 0;
    EXPECT_TRUE(driveListLines(drives).empty());
}

class JitterOptionsTest : public test::VirtualDriveTest {};

TEST_F(JitterOptionsTest, EachSetChoiceIsAppliedInOrderAndTheLastOneWins) {
    startEngine("gen:track audio 100,noaudio,vendor=VEND,product=PROD");
    ASSERT_EQ(drives_.count, 1);
    EXPECT_EQ(driveDescription(drives_, 0), "VEND     PROD            ");
    EXPECT_EQ(driveDescription(drives_, 1), "");
    EXPECT_EQ(driveDescription(drives_, -1), "");

    CdHandleRequest request;
    request.adapter = drives_.drives[0].adapter;
    request.target = drives_.drives[0].target;
    request.lun = drives_.drives[0].lun;
    const int handle = engine_->getCDHandle(&request);
    ASSERT_GT(handle, 0);
    const DriveSession& session = engine_->sessionTable()->slots[handle - 1];

    CdRomSettings settings{.jitterCheck = 2, .overlap = 5, .always = 1, .onError = 1, .never = 0};
    applyJitterOptions(*engine_, handle, settings);
    EXPECT_EQ(session.jitterMode, 2u);
    EXPECT_EQ(session.jitterCheckFrames, 2u);
    EXPECT_EQ(session.overlapFrames, 5u);
    settings.never = 1;
    applyJitterOptions(*engine_, handle, settings);
    EXPECT_EQ(session.jitterMode, 0u);
    settings = {.jitterCheck = 4, .overlap = 9, .always = 1};
    applyJitterOptions(*engine_, handle, settings);
    EXPECT_EQ(session.jitterMode, 1u);
    EXPECT_EQ(session.overlapFrames, 9u);
    engine_->closeCDHandle(handle);
}

}  // namespace
}  // namespace tonalda
