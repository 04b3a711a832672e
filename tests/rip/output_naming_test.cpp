// Base names, output folders and the Output settings group.

#include "rip/output_naming.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

namespace fs = std::filesystem;

TagInfo tagWith(std::string_view title, std::string_view artist, std::string_view album) {
    TagInfo tag;
    tag.Title1 = title;
    tag.Artist1 = artist;
    tag.Album1 = album;
    tag.Title2 = std::string(title) + "2";
    tag.Artist2 = std::string(artist) + "2";
    tag.Album2 = std::string(album) + "2";
    tag.isV1 = 1;
    return tag;
}

TEST(ComposeBaseName, EveryRuleJoinsTheFieldsWithOneHyphen) {
    const TagInfo tag = tagWith("C", "A", "B");
    const char* expected[] = {"Track 05", "C", "A-C", "C-A", "A-B-C", "B-C-A", "C-A-B", "C-B-A"};
    for (std::int32_t rule = 0; rule < 8; ++rule)
        EXPECT_EQ(composeBaseName("Track 05", tag, rule), expected[rule]) << rule;
}

TEST(ComposeBaseName, TakesVersion2FieldsOnlyWhenVersion1IsClear) {
    TagInfo tag = tagWith("C", "A", "B");
    tag.isV2 = 1;
    EXPECT_EQ(composeBaseName("Track 01", tag, 4), "A-B-C");
    tag.isV1 = 0;
    EXPECT_EQ(composeBaseName("Track 01", tag, 4), "A2-B2-C2");
    tag.isV2 = 0;
    EXPECT_EQ(composeBaseName("Track 01", tag, 4), "Track 01");
    tag.isV1 = 1;
    EXPECT_EQ(composeBaseName("Track 01", tag, 8), "Track 01");
    EXPECT_EQ(composeBaseName("Track 01", tag, -1), "Track 01");
}

TEST(ComposeBaseName, BlankFieldsAreLeftOutWithTheirHyphen) {
    // An untitled disc: no artist, the list title as the title.
    EXPECT_EQ(composeBaseName("Track 01", tagWith("Track 01", "", ""), 2), "Track 01");
    EXPECT_EQ(composeBaseName("Track 01", tagWith("Title", "A", ""), 4), "A-Title");
    EXPECT_EQ(composeBaseName("Track 01", tagWith("Title", " ", "\t"), 7), "Title");
    EXPECT_EQ(composeBaseName("Track 01", tagWith("", "A", "B"), 5), "B-A");
    // Nothing to compose from: the list title stays rather than a name of the extension alone.
    EXPECT_EQ(composeBaseName("Track 01", tagWith("", "A", ""), 1), "Track 01");
    EXPECT_EQ(composeBaseName("Track 01", tagWith(" ", "", ""), 3), "Track 01");
}

TEST(ComposeBaseName, HostileTagTextBecomesOneHarmlessName) {
    EXPECT_EQ(composeBaseName("x", tagWith("../../x", "", ""), 1), ".._.._x");
    EXPECT_EQ(composeBaseName("x", tagWith("a/b", "", ""), 1), "a_b");
    EXPECT_EQ(composeBaseName("x", tagWith("..", "", ""), 1), "__");
    EXPECT_EQ(composeBaseName("x", tagWith(std::string("a\0b", 3), "", ""), 1), "a_b");
    EXPECT_EQ(composeBaseName("x", tagWith("Title", ".", "."), 4), ".-.-Title");
    // Control characters from CDDB text, and a name a command would take for an option.
    EXPECT_EQ(composeBaseName("x",
                              tagWith("a\tb\x01"
                                      "c\x7f\nd",
                                      "", ""),
                              1),
              "a_b_c__d");
    EXPECT_EQ(composeBaseName("x", tagWith("-rf", "", ""), 1), "_rf");
    EXPECT_EQ(composeBaseName("x", tagWith("T", "--", ""), 2), "_--T");
}

TEST(SafeNameComponent, KeepsNamesShortEnoughWithoutSplittingCharacters) {
    EXPECT_EQ(safeNameComponent("."), "_");
    EXPECT_EQ(safeNameComponent("..."), "___");
    EXPECT_EQ(safeNameComponent("AC/DC"), "AC_DC");
    EXPECT_EQ(safeNameComponent("Caf\u00e9: \\ *?"), "Caf\u00e9: \\ *?");
    EXPECT_EQ(safeNameComponent("tab\there"), "tab_here");
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "\u00e9";  // two bytes each
    const std::string safe = safeNameComponent(longName);
    EXPECT_EQ(safe.size(), kMaxComposedNameBytes - kMaxComposedNameBytes % 2);
    EXPECT_EQ(safe, longName.substr(0, safe.size()));
    // Bytes that are not UTF-8 are cut where the limit falls, not walked back over.
    EXPECT_EQ(safeNameComponent(std::string(300, '\x80')).size(), kMaxComposedNameBytes);
}

class LongNamesTest : public ::testing::Test {
  protected:
    test::TempDir dir_;
};

// About 90 Japanese characters of artist and title: the composed name and every suffix a job
// appends still make a file the file system takes, and the cut leaves whole characters.
TEST_F(LongNamesTest, ComposedNamesLeaveRoomForTheSuffixAJobAppends) {
    std::string artist;
    std::string title;
    for (int i = 0; i < 30; ++i)
        artist += "\u5c71\u7530";  // three bytes each
    for (int i = 0; i < 30; ++i)
        title += "\u4ea4";
    const std::string base = composeBaseName("Track 01", tagWith(title, artist, ""), 2);
    ASSERT_LE(base.size() + kNameSuffixRoomBytes, 255u);
    EXPECT_GT(base.size(), 255u - kNameSuffixRoomBytes - 4);
    EXPECT_TRUE(text::isValidUtf8(base)) << "a character was split";
    EXPECT_EQ(base, (artist + "-" + title).substr(0, base.size()));

    for (const char* suffix : {".tmp", ".wav", ".mp3", ".ogg", ".wma"}) {
        const fs::path file = dir_ / (base + suffix);
        test::writeFile(file, "x");
        EXPECT_TRUE(fs::exists(file)) << suffix;
    }
    const fs::path longest = dir_ / (base + std::string(kNameSuffixRoomBytes, 'x'));
    test::writeFile(longest, "x");
    EXPECT_TRUE(fs::exists(longest));
    const fs::path viaBuilder = outputFilePath(dir_.path(), base, ".ogg");
    EXPECT_EQ(viaBuilder.filename().string(), base + ".ogg");
}

class OutputFolderTest : public ::testing::Test {
  protected:
    test::TempDir dir_;
    fs::path rip_ = dir_ / "rips";
};

TEST_F(OutputFolderTest, SubFolderRulesCreateTheirLevels) {
    const OutputFolder none = prepareOutputFolder(rip_, "A", "B", 0);
    ASSERT_TRUE(none.ok()) << none.error;
    EXPECT_EQ(none.folder, rip_);
    EXPECT_TRUE(fs::is_directory(rip_));

    EXPECT_EQ(prepareOutputFolder(rip_, "A", "B", 1).folder, rip_ / "A");
    EXPECT_EQ(prepareOutputFolder(rip_, "A", "B", 2).folder, rip_ / "B");
    EXPECT_EQ(prepareOutputFolder(rip_, "A", "B", 3).folder, rip_ / "A-B");
    const OutputFolder nested = prepareOutputFolder(rip_, "A", "B", 4);
    ASSERT_TRUE(nested.ok()) << nested.error;
    EXPECT_EQ(nested.folder, rip_ / "A" / "B");
    EXPECT_TRUE(fs::is_directory(rip_ / "A" / "B"));
    EXPECT_TRUE(fs::is_directory(rip_ / "A-B"));

    // The same rules again find the folders already there.
    EXPECT_TRUE(prepareOutputFolder(rip_, "A", "B", 4).ok());
    // A disc refreshed without information has " " for artist and album: no level is made.
    EXPECT_EQ(prepareOutputFolder(rip_, " ", " ", 3).folder, rip_);
    EXPECT_EQ(prepareOutputFolder(rip_, " ", " ", 4).folder, rip_);
    EXPECT_EQ(prepareOutputFolder(rip_, " ", "B", 3).folder, rip_ / "B");
    EXPECT_EQ(prepareOutputFolder(rip_, "A", "", 3).folder, rip_ / "A");
    EXPECT_EQ(prepareOutputFolder(rip_, " ", "B", 1).folder, rip_);
    // Control characters and a leading hyphen in disc text.
    EXPECT_EQ(prepareOutputFolder(rip_, "-A\tB", "C\x01", 4).folder, rip_ / "_A_B" / "C_");
}

TEST_F(OutputFolderTest, RuleOutsideTheListCreatesNothing) {
    const OutputFolder folder = prepareOutputFolder(rip_, "A", "B", 5);
    EXPECT_TRUE(folder.ok());
    EXPECT_EQ(folder.folder, rip_);
    EXPECT_FALSE(fs::exists(rip_));
}

TEST_F(OutputFolderTest, HostileDiscNamesStayInsideTheRipFolder) {
    const std::string hostile[] = {"../../x", "a/b", ".", "..", "...", std::string("x\0y", 3),
                                   "/etc"};
    for (const std::string& artist : hostile) {
        for (std::int32_t rule = 1; rule <= 4; ++rule) {
            const OutputFolder folder = prepareOutputFolder(rip_, artist, "..", rule);
            ASSERT_TRUE(folder.ok()) << folder.error;
            const fs::path file = outputFilePath(folder.folder, "../" + artist, ".mp3");
            const fs::path canonicalRip = fs::canonical(rip_);
            const fs::path resolved = fs::weakly_canonical(file);
            EXPECT_EQ(resolved.string().rfind(canonicalRip.string() + "/", 0), 0u)
                << "artist " << artist << " rule " << rule << " gave " << resolved;
            EXPECT_EQ(file.parent_path(), folder.folder);
        }
    }
    // Nothing was made beside the rip folder.
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        EXPECT_EQ(entry.path(), rip_);
}

TEST_F(OutputFolderTest, FolderThatCannotBeMadeIsReported) {
    // A file where the artist folder should be.
    fs::create_directory(rip_);
    test::writeFile(rip_ / "A", "not a folder");
    const OutputFolder blocked = prepareOutputFolder(rip_, "A", "B", 4);
    EXPECT_FALSE(blocked.ok());
    EXPECT_NE(blocked.error.find(rip_ / "A"), std::string::npos) << blocked.error;
    EXPECT_TRUE(blocked.folder.empty());

    // A rip folder whose parent is missing: only one level is ever made.
    const OutputFolder deep = prepareOutputFolder(dir_ / "no" / "such", "A", "B", 0);
    EXPECT_FALSE(deep.ok());
    EXPECT_FALSE(fs::exists(dir_ / "no"));

    if (geteuid() != 0) {
        fs::create_directory(dir_ / "locked");
        fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        const OutputFolder locked = prepareOutputFolder(dir_ / "locked", "A", "B", 1);
        EXPECT_FALSE(locked.ok());
        EXPECT_NE(locked.error.find("Permission denied"), std::string::npos) << locked.error;
    }
}

TEST(OutputFilePath, AddsTheExtensionAndKeepsTheNameShortEnough) {
    EXPECT_EQ(outputFilePath("/r", "Track 05", ".mp3"), fs::path("/r/Track 05.mp3"));
    EXPECT_EQ(outputFilePath("/r", "", ".mp3"), fs::path("/r/.mp3"));
    EXPECT_EQ(outputFilePath("/r", "..", ".ogg"), fs::path("/r/...ogg"));
    EXPECT_EQ(outputFilePath("/r", "-a\tb", ".mp3"), fs::path("/r/_a_b.mp3"));
    const fs::path longName = outputFilePath("/r", std::string(300, 'x'), ".wav");
    EXPECT_EQ(longName.filename().string(), std::string(kMaxComposedNameBytes, 'x') + ".wav");
    EXPECT_EQ(outputFormatExtension(static_cast<std::int32_t>(OutputFormat::Ogg)), ".ogg");
    EXPECT_EQ(outputFormatName(1), "MP3 File");
    EXPECT_EQ(outputFormatName(4), "");
}

class OutputSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { registry_.createKey(registryKeyPath(kOutputGroup)); }

    void install() {
        auto key = registry_.openKey(registryKeyPath(kOutputGroup), RegistryAccess::Write);
        key->writeString("Rippath", "/music/rips");
        key->writeString("Encodepath", "/music/encoded");
        key->writeDword("format", 1);
        key->writeDword("filename", 4);
        key->writeDword("Subfloder", 3);
    }

    test::TempDir dir_;
    Registry registry_{dir_ / "registry.reg"};
};

TEST_F(OutputSettingsTest, LoadsEveryValue) {
    install();
    OutputSettings settings;
    ASSERT_TRUE(settings.load(registry_));
    EXPECT_EQ(settings, (OutputSettings{"/music/rips", "/music/encoded", 1, 4, 3}));
}

TEST_F(OutputSettingsTest, LoadStopsAtTheFirstMissingValue) {
    auto key = registry_.openKey(registryKeyPath(kOutputGroup), RegistryAccess::Write);
    key->writeDword("filename", 2);
    key->writeDword("format", 3);
    key->writeString("Rippath", "/r");
    OutputSettings settings{"old rip", "old encode", 9, 9, 9};
    EXPECT_FALSE(settings.load(registry_));
    // "Subfloder" is missing: "filename" is read, everything after it is left alone.
    EXPECT_EQ(settings, (OutputSettings{"old rip", "old encode", 9, 2, 9}));

    Registry empty(dir_ / "empty.reg");
    EXPECT_FALSE(settings.load(empty));
}

TEST_F(OutputSettingsTest, SaveWritesReloadsAndTellsTheMainWindow) {
    install();
    OutputSettings settings{"/new/rips", "/new/enc", 2, 7, 4};
    RecordingMessageSink mainWindow;
    EXPECT_TRUE(settings.save(registry_, [&] { mainWindow.send(UM_OUTPUT_CHANGED); }));
    EXPECT_EQ(mainWindow.messagesOf(UM_OUTPUT_CHANGED).size(), 1u);

    OutputSettings reread;
    ASSERT_TRUE(reread.load(registry_));
    EXPECT_EQ(reread, settings);
    // The rip folder keeps one value, whatever case its name is read with.
    const std::string hive = test::readFile(registry_.file());
    EXPECT_EQ(hive.find("rippath"), std::string::npos) << hive;
    EXPECT_NE(hive.find("\"Rippath\"=\"/new/rips\""), std::string::npos) << hive;
}

TEST_F(OutputSettingsTest, SaveWithoutTheKeyWritesNothing) {
    Registry empty(dir_ / "empty.reg");
    OutputSettings settings{"/x", "/y", 1, 1, 1};
    EXPECT_FALSE(settings.save(empty, nullptr));
    EXPECT_FALSE(fs::exists(empty.file()));
}

}  // namespace
}  // namespace tonalda
