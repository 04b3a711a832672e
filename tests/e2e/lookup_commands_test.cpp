// lookup and library of tonalda-cli against the loopback CDDB server, run as a program.

#include <gtest/gtest.h>

#include "cdinfo/cddb_test_server.h"
#include "codecs/codec_test_support.h"
#include "e2e/cli_scratch.h"

namespace tonalda::e2e {
namespace {

const std::string kExampleDisc = "gen:track audio 14120/track audio 12730,noaudio";

class CliLookup : public ::testing::Test {
  protected:
    CliLookup() : scratch_(kExampleDisc), server_(std::ref(fixtures_)) {
        fixtures_.setQueryReply("0c016602", "200 jazz 0c016602 Drive Artist / Drive Album\r\n");
        fixtures_.setEntry("0c016602",
                           "# Track frame offsets:\n# 150\n# 14270\n# Disc length: 360\n"
                           "# Revision: 0\nDISCID=0c016602\nDTITLE=Drive Artist / Drive Album\n"
                           "TTITLE0=Uno \"1\"\nTTITLE1=Dos \xc3\xa8\n");
        scratch_.setEnvironment("TONALDA_CDDB_HOST", "127.0.0.1");
        scratch_.setDword("FreeDB", "Port", static_cast<std::uint32_t>(server_.port()));
    }

    CliScratch scratch_;
    testing::CddbFixtures fixtures_;
    testing::CddbTestServer server_;
};

TEST_F(CliLookup, PrintsTheDiscAndItsTitles) {
    const ProcessResult text = scratch_.run({"lookup"});
    ASSERT_EQ(text.exitStatus, 0) << text.err;
    EXPECT_EQ(text.out,
              "Disc ID: 0c016602\nArtist: Drive Artist\nAlbum: Drive Album\nGenre: Jazz (8)\n"
              "  1  Uno \"1\"\n  2  Dos \xc3\xa8\n");
    EXPECT_EQ(text.err, "CDDB Query Success.\n");
    ASSERT_FALSE(server_.requests().empty());
    EXPECT_EQ(server_.requests().front().command().rfind("cddb query 0c016602 2 150 14270 360", 0),
              0u);

    const ProcessResult json = scratch_.run({"lookup", "--json"});
    ASSERT_EQ(json.exitStatus, 0) << json.err;
    EXPECT_EQ(json.out,
              "{\"discId\": \"0c016602\", \"artist\": \"Drive Artist\", \"album\": \"Drive "
              "Album\", \"genreIndex\": 8, \"titles\": [\"Uno \\\"1\\\"\", \"Dos \xc3\xa8\"]}\n");
    // An independent reader takes it as JSON.
    const std::string check = scratch_.root() / "lookup.json";
    test::writeFile(check, json.out);
    const auto parsed = test::runCommand(
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d[\"titles\"][1])' " +
        test::quoted(check));
    EXPECT_EQ(parsed.output, "Dos \xc3\xa8\n");
    // Nothing is kept without --save.
    EXPECT_TRUE(filesUnder(scratch_.libraryFolder()).empty());
}

TEST_F(CliLookup, SaveKeepsTheResultForTheNextStart) {
    const ProcessResult saved = scratch_.run({"lookup", "--save"});
    ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    const auto file = scratch_.libraryFolder() / "30C14.cdb";
    ASSERT_TRUE(std::filesystem::exists(file)) << saved.err;
    const std::string library = test::readFile(file);
    EXPECT_NE(library.find("artist=Drive Artist"), std::string::npos) << library;
    EXPECT_NE(library.find("num=2"), std::string::npos) << library;

    // The next start reads the library ("AutoRead"): the track list shows the saved titles.
    const ProcessResult toc = scratch_.run({"toc", "--json"});
    EXPECT_NE(toc.out.find("\"title\": \"Uno \\\"1\\\"\""), std::string::npos) << toc.out;
    EXPECT_NE(toc.out.find("\"title\": \"Dos \xc3\xa8\""), std::string::npos) << toc.out;

    // A rip then names and folders its files from the saved disc information.
    const ProcessResult rip = scratch_.run({"rip", "--format", "wav", "--tracks", "2"});
    ASSERT_EQ(rip.exitStatus, 0) << rip.err;
    EXPECT_EQ(filesUnder(scratch_.ripFolder()),
              std::vector<std::string>{"Drive Artist/Drive Album/Drive Artist-Dos \xc3\xa8.wav"});
}

TEST_F(CliLookup, AnUnknownDiscEndsWithTheJobsMessageAndStatusOne) {
    fixtures_.setQueryReply("0c016602", "202 No match for disc ID 0c016602.\r\n");
    const ProcessResult result = scratch_.run({"lookup", "--json"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "No matches in CDDB database...\n");
}

TEST_F(CliLookup, LibraryOperationsOnTheDiscInTheDrive) {
    const auto file = scratch_.libraryFolder() / "30C14.cdb";
    // Nothing to save into before the first read.
    EXPECT_EQ(scratch_.run({"library", "save"}).exitStatus, 1);
    EXPECT_FALSE(std::filesystem::exists(file));
    // The first read creates the empty file, a save then fills it.
    const ProcessResult firstRead = scratch_.run({"library", "read"});
    EXPECT_EQ(firstRead.exitStatus, 1);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(test::readFile(file), "");
    const ProcessResult save = scratch_.run({"library", "save"});
    EXPECT_EQ(save.exitStatus, 0) << save.err;
    EXPECT_NE(test::readFile(file).find("[Title1]\n1=Track 01\n2=Track 02"), std::string::npos)
        << test::readFile(file);
    const ProcessResult read = scratch_.run({"library", "read"});
    EXPECT_EQ(read.exitStatus, 0) << read.err;
    EXPECT_NE(read.out.find("  2  Track 02"), std::string::npos) << read.out;

    // cdplayer.ini in the config folder: the disc's section, first track under key 0.
    EXPECT_EQ(scratch_.run({"library", "ini-write"}).exitStatus, 0);
    const std::string ini = test::readFile(scratch_.root() / "config/tonalda/cdplayer.ini");
    EXPECT_NE(ini.find("[30C14]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("0=Track 01"), std::string::npos) << ini;
    const ProcessResult iniRead = scratch_.run({"library", "ini-read"});
    EXPECT_EQ(iniRead.exitStatus, 0) << iniRead.err;
    EXPECT_NE(iniRead.out.find("  1  Track 01"), std::string::npos) << iniRead.out;
}

}  // namespace
}  // namespace tonalda::e2e
