// The Misc settings group.

#include "cdinfo/misc_settings.h"

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

class MiscSettingsTest : public ::testing::Test {
  protected:
    std::unique_ptr<RegistryKey> installKey() {
        registry_.createKey(registryKeyPath(kMiscGroup));
        return registry_.openKey(registryKeyPath(kMiscGroup), RegistryAccess::Write);
    }

    test::TempDir dir_;
    Registry registry_{dir_ / "registry.reg"};
};

TEST_F(MiscSettingsTest, MissingKeyLeavesEverythingZeroAndEmpty) {
    MiscSettings settings;
    EXPECT_FALSE(settings.load(registry_));
    EXPECT_EQ(settings, MiscSettings{});
    EXPECT_FALSE(settings.save(registry_));
    EXPECT_FALSE(registry_.openKey(registryKeyPath(kMiscGroup), RegistryAccess::Read));
}

TEST_F(MiscSettingsTest, LoadStopsAtTheFirstMissingNumberAndSkipsMissingFolders) {
    auto key = installKey();
    for (const char* name : {"ASPI", "AutoDetect", "Passthru", "TOC"})
        key->writeDword(name, 1);
    key->writeDword("InitEnc", 1);  // after the missing "AutoRead": not reached
    MiscSettings settings;
    settings.initEnc = 7;
    EXPECT_FALSE(settings.load(registry_));
    EXPECT_EQ(settings.toc, 1);
    EXPECT_EQ(settings.autoRead, 0);
    EXPECT_EQ(settings.initEnc, 7);

    for (const char* name : {"AutoRead", "AutoSave", "InitRipper"})
        key->writeDword(name, 0);
    key->writeString("CDDBpath", "/lib/cd");
    settings.tempPath = "kept";
    EXPECT_TRUE(settings.load(registry_));
    EXPECT_EQ(settings.tempPath, "kept");
    EXPECT_EQ(settings.cddbPath, "/lib/cd");
    EXPECT_EQ(settings.initEnc, 1);
}

TEST_F(MiscSettingsTest, AFolderStoredAsANumberFailsTheLoad) {
    auto key = installKey();
    for (const char* name :
         {"ASPI", "AutoDetect", "Passthru", "TOC", "AutoRead", "AutoSave", "InitEnc", "InitRipper"})
        key->writeDword(name, 0);
    key->writeDword("Temppath", 5);
    key->writeString("CDDBpath", "/lib/cd");
    MiscSettings settings;
    EXPECT_FALSE(settings.load(registry_));
    EXPECT_EQ(settings.cddbPath, "");  // not reached

    key->writeString("Temppath", "/tmp/t");
    key->writeDword("CDDBpath", 1);
    EXPECT_FALSE(settings.load(registry_));
    EXPECT_EQ(settings.tempPath, "/tmp/t");

    key->writeString("CDDBpath", "/lib/cd");
    EXPECT_TRUE(settings.load(registry_));
    EXPECT_EQ(settings.cddbPath, "/lib/cd");
}

TEST_F(MiscSettingsTest, SaveWritesFlagsAsZeroOrOneAndReloads) {
    installKey();
    MiscSettings edited;
    edited.autoDetect = 1;
    edited.toc = 5;
    edited.autoRead = 1;
    edited.initRipper = 1;
    edited.tempPath = "/tmp/tonalda";
    edited.cddbPath = "/home/u/cdlib";
    ASSERT_TRUE(edited.save(registry_));
    EXPECT_EQ(edited.toc, 1);

    MiscSettings reread;
    ASSERT_TRUE(reread.load(registry_));
    EXPECT_EQ(reread, edited);
    const auto key = registry_.openKey(registryKeyPath(kMiscGroup), RegistryAccess::Read);
    // Folder texts are written without a terminating NUL.
    EXPECT_EQ(key->stringSize("Temppath"), std::size_t{12});
}

}  // namespace
}  // namespace tonalda
