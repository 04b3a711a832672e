// tonalda-setup, run as a program against a scratch hive and scratch home.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <variant>

#include "platform/registry.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

using Expected = std::variant<std::uint32_t, std::string>;

struct Group {
    const char* key;
    std::vector<std::pair<const char*, Expected>> values;  // in the order the settings load them
};

// Every value each settings group reads when it loads, spelled as the load spells it, with the
// installation default.
std::vector<Group> loadedValues(const std::filesystem::path& home) {
    const std::string music = (home / "Music" / "Tonalda").string();
    return {
        {"MP3",
         {{"Copyright", 0u},    {"CRC", 0u},       {"Original", 1u},      {"Private", 0u},
          {"ReSampleRate", 0u}, {"VBRHeader", 1u}, {"SampleRate", 0u},    {"Mode", 1u},
          {"Preset", 6u},       {"BPreset", 0u},   {"CBR", 0u},           {"CBitResorvoir", 0u},
          {"BitRate", 14u},     {"VBR", 1u},       {"VBRQuality", 2u},    {"MinBitRate", 0u},
          {"MaxBitRate", 13u},  {"ABR", 0u},       {"ABitResorvoir", 0u}, {"ABRBitRate", 192000u}}},
        {"FreeDB",
         {{"auth", 0u},
          {"Port", 80u},
          {"pport", 8080u},
          {"proxy", 0u},
          {"Server", 0u},
          {"email", std::string()},
          {"pass", ""},
          {"proxyserver", ""},
          {"QueryScript", "/~cddb/cddb.cgi"},
          {"SubmitScript", "/~cddb/submit.cgi"},
          {"username", ""}}},
        {"Output",
         {{"filename", 2u},
          {"Subfloder", 4u},
          {"format", 1u},
          {"rippath", music},
          {"Encodepath", music + "/Converted"}}},
        {"WMA",
         {{"Copyright", 1u},
          {"Album", 1u},
          {"Artist", 1u},
          {"Comment", 1u},
          {"Composer", 1u},
          {"Encodedby", 0u},
          {"Title", 1u},
          {"Track", 0u},
          {"URL", 0u},
          {"Year", 0u},
          {"Orgartist", 0u},
          {"Bitrate", 4u},
          {"Samplerate", 0u},
          {"DRM", 0u},
          {"Stereo", 1u},
          {"Mono", 0u}}},
        {"OGG",
         {{"Copyright", 0u},
          {"Album", 1u},
          {"Artist", 1u},
          {"Comment", 1u},
          {"Composer", 0u},
          {"Encodedby", 0u},
          {"Title", 1u},
          {"Track", 1u},
          {"URL", 0u},
          {"Year", 1u},
          {"Orgartist", 0u},
          {"Minrate", 0u},
          {"Samplerate", 0u},
          {"Maxrate", 0u},
          {"Stereo", 1u},
          {"Mono", 0u},
          {"Normrate", 0u},
          {"VBR", 1u},
          {"Quality", 50u}}},
        {"CDRom",
         {{"speed", 6u},
          {"Type", 0u},
          {"Unit", 0u},
          {"Buffer", 26u},
          {"Jitter", 1u},
          {"Overlap", 3u},
          {"always", 1u},
          {"Onerr", 0u},
          {"never", 0u}}},
        {"Misc",
         {{"ASPI", 0u},
          {"AutoDetect", 1u},
          {"Passthru", 0u},
          {"TOC", 1u},
          {"AutoRead", 1u},
          {"AutoSave", 0u},
          {"InitEnc", 0u},
          {"InitRipper", 1u},
          {"Temppath", (home / "cache" / "tonalda").string()},
          {"CDDBpath", (home / "data" / "tonalda" / "cdlib").string()}}},
    };
}

class SetupTest : public ::testing::Test {
  protected:
    std::filesystem::path hive() const { return dir_ / "hive.reg"; }
    std::filesystem::path home() const { return dir_ / "home"; }

    // Runs tonalda-setup with the given arguments; returns its exit code.
    int runSetup(const std::string& arguments = "") {
        const std::string command =
            "env HOME='" + home().string() + "' XDG_CACHE_HOME='" + (home() / "cache").string() +
            "' XDG_DATA_HOME='" + (home() / "data").string() + "' TONALDA_HIVE='" +
            hive().string() + "' '" TONALDA_SETUP_PROGRAM "' " + arguments + " >'" +
            (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errors() const { return readFile(dir_ / "err"); }

    TempDir dir_;
    Registry registry_{dir_ / "hive.reg"};
};

TEST_F(SetupTest, WritesEveryValueEachLoadReadsWithItsType) {
    ASSERT_EQ(runSetup(), 0) << errors();
    for (const Group& group : loadedValues(home())) {
        auto key = registry_.openKey(registryKeyPath(group.key), RegistryAccess::Read);
        ASSERT_TRUE(key) << group.key;
        for (const auto& [name, expected] : group.values) {
            if (const auto* number = std::get_if<std::uint32_t>(&expected)) {
                EXPECT_EQ(key->readDword(name), *number) << group.key << "\\" << name;
            } else if (std::string(name) == "email") {
                const auto email = key->readString(name);
                ASSERT_TRUE(email);
                EXPECT_NE(email->find('@'), std::string::npos) << *email;
            } else {
                EXPECT_EQ(key->readString(name), std::get<std::string>(expected))
                    << group.key << "\\" << name;
                ASSERT_TRUE(key->stringSize(name));  // asked for its size before it is read
            }
        }
    }
    // The install folder is found beside the program: <prefix>/bin/../lib/tonalda.
    const std::filesystem::path program = TONALDA_SETUP_PROGRAM;
    auto setup = registry_.openKey(registryKeyPath("Setup"), RegistryAccess::Read);
    ASSERT_TRUE(setup);
    EXPECT_EQ(
        setup->readString("path"),
        (program.parent_path().parent_path() / "lib" / "tonalda").lexically_normal().string());

    for (const char* folder : {"Music/Tonalda/Converted", "cache/tonalda", "data/tonalda/cdlib"})
        EXPECT_TRUE(std::filesystem::is_directory(home() / folder)) << folder;
}

TEST_F(SetupTest, KeepsExistingValuesUnlessReset) {
    {
        auto mp3 = registry_.createKey(registryKeyPath("MP3"));
        ASSERT_TRUE(mp3->writeDword("Preset", 3));
        auto output = registry_.createKey(registryKeyPath("Output"));
        ASSERT_TRUE(output->writeString("Rippath", (dir_ / "mine").string(), false));
        auto cdrom = registry_.createKey(registryKeyPath("CDROM"));
        ASSERT_TRUE(cdrom->writeString("Buffer", "27"));  // the wrong type: a load would fail
        ASSERT_TRUE(cdrom->writeDword("Speed", 2));       // another spelling of "speed"
    }
    ASSERT_EQ(runSetup(), 0) << errors();
    auto mp3 = registry_.openKey(registryKeyPath("MP3"), RegistryAccess::Read);
    EXPECT_EQ(mp3->readDword("Preset"), 3u);
    EXPECT_EQ(mp3->readDword("ABRBitRate"), 192000u);
    auto output = registry_.openKey(registryKeyPath("Output"), RegistryAccess::Read);
    EXPECT_EQ(output->readString("rippath"), (dir_ / "mine").string());
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "mine"));
    auto cdrom = registry_.openKey(registryKeyPath("CDRom"), RegistryAccess::Read);
    EXPECT_EQ(cdrom->readDword("Buffer"), 26u);
    EXPECT_EQ(cdrom->readDword("speed"), 2u);

    // A second run changes nothing.
    const std::string settled = readFile(hive());
    ASSERT_EQ(runSetup(), 0) << errors();
    EXPECT_EQ(readFile(hive()), settled);

    ASSERT_EQ(runSetup("--reset"), 0) << errors();
    mp3 = registry_.openKey(registryKeyPath("MP3"), RegistryAccess::Read);
    EXPECT_EQ(mp3->readDword("Preset"), 6u);
    output = registry_.openKey(registryKeyPath("Output"), RegistryAccess::Read);
    EXPECT_EQ(output->readString("Rippath"), (home() / "Music" / "Tonalda").string());
    cdrom = registry_.openKey(registryKeyPath("CDRom"), RegistryAccess::Read);
    EXPECT_EQ(cdrom->readDword("speed"), 6u);
}

TEST_F(SetupTest, FailsOnACorruptHiveAndLeavesItAlone) {
    const std::string corrupt = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\"x\"=oops\n";
    writeFile(hive(), corrupt);
    EXPECT_EQ(runSetup(), 1);
    EXPECT_EQ(readFile(hive()), corrupt);
    EXPECT_NE(errors().find(hive().string() + ", line 3"), std::string::npos) << errors();

    EXPECT_EQ(runSetup("--bogus"), 2);
}

}  // namespace
}  // namespace tonalda
