// The local CD library files and "cdplayer.ini", read back both through the program and as text.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cdinfo/disc_info.h"
#include "cdinfo/fake_disc_view.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "platform/profile.h"

namespace tonalda {
namespace {

using testing::FakeDiscView;

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class LocalLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "library-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    // Gives the view's rows and discInfo() something to store.
    static void fill(FakeDiscView& view) {
        view.discInfo().update([](DiscInfo& info) {
            info.artist = "Die \xc3\x84rzte";
            info.album = "Album";
            info.genreIndex = 1;
            info.infoPresent = true;
        });
        for (int row = 0; row < view.rowCount(); ++row) {
            view.updateRowTag(row, [row](TagInfo& tag) {
                tag.Title1 = "Title " + std::to_string(row + 1);
                tag.Artist2 = "V2 artist";
                tag.Genre1 = 80;
                tag.Genre2 = 8;
                tag.Track2 = std::to_string(row + 1);
                tag.URL = "http://example.org/?a=b";
                tag.isV1 = 1;
                tag.isV2 = 1;
            });
        }
    }

    std::filesystem::path folder_;
};

TEST_F(LocalLibraryTest, FirstReadCreatesTheFileAndTheSaveFillsIt) {
    FakeDiscView view;
    const auto file = folder_ / "30C14.cdb";
    EXPECT_EQ(libraryFilePath(folder_, 0x30C14), file);

    fill(view);
    EXPECT_FALSE(saveLocalLibrary(view, folder_));  // never read: nothing is written
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(readLocalLibrary(view, folder_));  // creates it empty, changes nothing
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_TRUE(view.sink().messages().empty());
    EXPECT_EQ(view.discInfo().snapshot().artist, "Die \xc3\x84rzte");

    ASSERT_TRUE(saveLocalLibrary(view, folder_));
    const std::string text = readText(file);
    EXPECT_NE(text.find("[CDINFO]"), std::string::npos);
    EXPECT_EQ(profile::readString(file, "CDINFO", "num", ""), "2");
    EXPECT_EQ(profile::readString(file, "CDINFO", "genre", ""), "1");
    EXPECT_EQ(profile::readString(file, "Title1", "1", ""), "Title 1");  // first track is key 1
    EXPECT_EQ(profile::readString(file, "Title1", "0", "missing"), "missing");
    EXPECT_EQ(profile::readString(file, "isV2", "2", ""), "1");
    EXPECT_EQ(profile::readString(file, "URL", "2", ""), "http://example.org/?a=b");

    // Read back into a fresh view and a cleared record.
    FakeDiscView fresh;
    ASSERT_TRUE(readLocalLibrary(fresh, folder_));
    const DiscInfo info = fresh.discInfo().snapshot();
    EXPECT_EQ(info.artist, "Die \xc3\x84rzte");
    EXPECT_EQ(info.album, "Album");
    EXPECT_EQ(info.genreIndex, 1);
    EXPECT_FALSE(info.infoPresent);  // reading never sets it
    EXPECT_EQ(fresh.rowTag(0), view.rowTag(0));
    EXPECT_EQ(fresh.rowTag(1), view.rowTag(1));
    EXPECT_EQ(fresh.titles(), (std::vector<std::string>{"Title 1", "Title 2"}));
    EXPECT_EQ(fresh.sink().messages().front().message, UM_SHOW_DISC_INFO);
}

TEST_F(LocalLibraryTest, ReadingUsesDefaultsAndFillsOnlyExistingRows) {
    FakeDiscView view;
    const auto file = libraryFilePath(folder_, view.readPlayerKey());
    std::ofstream(file) << "[CDINFO]\nnum=5\n[Title1]\n1=One\n2=Two\n3=Three\n5=Five\n"
                        << "[isV1]\n1=7\n";
    ASSERT_TRUE(readLocalLibrary(view, folder_));
    const DiscInfo info = view.discInfo().snapshot();
    EXPECT_EQ(info.artist, "");
    EXPECT_EQ(info.genreIndex, -1);
    const TagInfo first = view.rowTag(0);
    EXPECT_EQ(first.Title1, "One");
    EXPECT_EQ(first.Genre1, 17);
    EXPECT_EQ(first.Genre2, 0);
    EXPECT_EQ(first.isV1, 1);  // any value but 0 is on
    EXPECT_EQ(first.isV2, 0);
    EXPECT_EQ(first.Comment1, "");
    EXPECT_EQ(view.sink().messagesOf(UM_SET_TRACK_TITLE).size(), 2u);  // num above the rows
}

TEST_F(LocalLibraryTest, DiscsAreKeptApartByTheirPlayerKeys) {
    FakeDiscView example;
    FakeDiscView other(testing::makeToc({{0, 2, 0}, {4, 0, 0}}, {7, 0, 0}));
    FakeDiscView none(std::nullopt, 0);
    readLocalLibrary(example, folder_);
    readLocalLibrary(other, folder_);
    readLocalLibrary(none, folder_);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "30C14.cdb"));
    EXPECT_TRUE(std::filesystem::exists(folder_ / "40200.cdb"));
    EXPECT_TRUE(std::filesystem::exists(folder_ / "0.cdb"));
    // A library folder that does not exist: nothing happens.
    EXPECT_FALSE(readLocalLibrary(example, folder_ / "missing"));
    EXPECT_FALSE(saveLocalLibrary(example, folder_ / "missing"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
}

TEST_F(LocalLibraryTest, CdPlayerIniKeysAndGenres) {
    const auto ini = folder_ / "cdplayer.ini";
    FakeDiscView view;
    fill(view);
    ASSERT_TRUE(writeCdPlayerIni(view, ini));
    EXPECT_EQ(profile::readString(ini, "30C14", "EntryType", ""), "1");
    EXPECT_EQ(profile::readString(ini, "30C14", "genre", ""), "classic rock");
    EXPECT_EQ(profile::readString(ini, "30C14", "numtracks", ""), "2");
    EXPECT_EQ(profile::readString(ini, "30C14", "0", ""), "Title 1");  // first track is key 0
    EXPECT_EQ(profile::readString(ini, "30C14", "1", ""), "Title 2");

    FakeDiscView fresh;
    readCdPlayerIni(fresh, ini);
    EXPECT_EQ(fresh.discInfo().snapshot().artist, "Die \xc3\x84rzte");
    EXPECT_EQ(fresh.discInfo().snapshot().album, "Album");
    EXPECT_EQ(fresh.discInfo().snapshot().genreIndex, 1);
    const TagInfo tag = fresh.rowTag(1);
    EXPECT_EQ(tag.Title1, "Title 2");
    EXPECT_EQ(tag.Artist1, "Die \xc3\x84rzte");
    EXPECT_EQ(tag.Genre1, 1);
    EXPECT_EQ(tag.isV1, 1);
    EXPECT_EQ(fresh.titles(), (std::vector<std::string>{"Title 1", "Title 2"}));

    EXPECT_EQ(genreIndexOfCdPlayerGenre("classic rock"), 1);
    EXPECT_EQ(genreIndexOfCdPlayerGenre("Classic Rock"), -1);
    EXPECT_EQ(genreIndexOfCdPlayerGenre("not a genre"), -1);
    EXPECT_EQ(genreIndexOfCdPlayerGenre("synthpop"), 147);

    // A disc without a section.
    FakeDiscView unknown(testing::makeToc({{0, 2, 0}}, {1, 0, 0}));
    readCdPlayerIni(unknown, ini);
    EXPECT_EQ(unknown.discInfo().snapshot().artist, "");
    EXPECT_EQ(unknown.discInfo().snapshot().genreIndex, -1);
    EXPECT_EQ(unknown.rowTag(0).Title1, "");
}

// The child saves two versions of the disc in turn until it is killed; the file always holds one
// whole version, never a mix or a torn file.
TEST_F(LocalLibraryTest, ALibraryFileSurvivesAKillDuringASave) {
    FakeDiscView view(testing::makeToc({{0, 2, 0}, {3, 10, 20}, {5, 0, 0}}, {9, 0, 0}));
    const auto setVersion = [&view](const std::string& version) {
        view.discInfo().update([&](DiscInfo& info) { info.artist = version; });
        for (int row = 0; row < view.rowCount(); ++row)
            view.updateRowTag(
                row, [&](TagInfo& tag) { tag.Title1 = version + " " + std::to_string(row + 1); });
    };
    readLocalLibrary(view, folder_);
    setVersion("A");
    ASSERT_TRUE(saveLocalLibrary(view, folder_));
    const auto file = libraryFilePath(folder_, view.readPlayerKey());
    for (int round = 0; round < 3; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int n = 0;; ++n) {
                setVersion(n % 2 ? "A" : "B");
                saveLocalLibrary(view, folder_);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + 20 * round));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string version = profile::readString(file, "CDINFO", "artist", "");
        ASSERT_TRUE(version == "A" || version == "B") << version;
        for (int key = 1; key <= 3; ++key)
            EXPECT_EQ(profile::readString(file, "Title1", std::to_string(key), ""),
                      version + " " + std::to_string(key));
    }
}

TEST(ProfileBatch, AnEntryThatCannotBeStoredLeavesTheFileUntouched) {
    std::string pattern = (std::filesystem::temp_directory_path() / "profile-XXXXXX").string();
    const std::filesystem::path folder = ::mkdtemp(pattern.data());
    const auto file = folder / "batch.ini";
    const std::vector<profile::ProfileEntry> good = {{"S", "a", "1"}, {"T", "b", "2"}};
    ASSERT_TRUE(profile::writeStrings(file, good));
    const std::string before = readText(file);
    const std::vector<profile::ProfileEntry> bad = {{"S", "a", "changed"}, {"T", "b=c", "3"}};
    EXPECT_FALSE(profile::writeStrings(file, bad));
    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(profile::readString(file, "T", "b", ""), "2");
    std::filesystem::remove_all(folder);
}

TEST(FreeDbSettingsGroup, LoadsAndSavesInTheRegistryOrder) {
    std::string pattern = (std::filesystem::temp_directory_path() / "freedb-XXXXXX").string();
    const std::filesystem::path folder = ::mkdtemp(pattern.data());
    Registry registry(folder / "hive.reg");
    FreeDbSettings settings;
    EXPECT_FALSE(loadFreeDbSettings(registry, settings));  // no key
    EXPECT_FALSE(saveFreeDbSettings(registry, settings));  // never created here
    ASSERT_TRUE(registry.createKey(registryKeyPath(kFreeDbGroup)));

    FreeDbSettings stored{-1,
                          8880,
                          "/~cddb/cddb.cgi",
                          "/~cddb/submit.cgi",
                          "me@example.org",
                          1,
                          "proxy.example.org",
                          3128,
                          0,
                          "user",
                          "p\"ss\\word"};
    ASSERT_TRUE(saveFreeDbSettings(registry, stored));
    auto key = registry.openKey(registryKeyPath(kFreeDbGroup), RegistryAccess::Read);
    EXPECT_EQ(key->readDword("Server"), 0xFFFFFFFFu);
    EXPECT_EQ(key->stringSize("email"), stored.email.size());  // no terminating NUL
    FreeDbSettings loaded;
    ASSERT_TRUE(loadFreeDbSettings(registry, loaded));
    EXPECT_EQ(loaded, stored);

    // Without "Server" the values read before it load and the rest keep their contents.
    std::ofstream(folder / "partial.reg")
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\FreeDB]\n"
        << "\"auth\"=dword:00000001\n\"Port\"=dword:00000050\n\"pport\"=dword:00000002\n"
        << "\"proxy\"=dword:00000001\n\"email\"=\"x@y\"\n";
    Registry partial(folder / "partial.reg");
    FreeDbSettings kept = stored;
    EXPECT_FALSE(loadFreeDbSettings(partial, kept));
    EXPECT_EQ(kept.auth, 1);
    EXPECT_EQ(kept.Port, 80);
    EXPECT_EQ(kept.pport, 2);
    EXPECT_EQ(kept.proxy, 1);
    EXPECT_EQ(kept.Server, -1);
    EXPECT_EQ(kept.email, "me@example.org");
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tonalda
