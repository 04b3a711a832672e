// lookup and library of tonalda-cli against the loopback CDDB server, run as a program.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// Ctrl-C while the server holds a lookup or a submission: the job is canceled at once, the
// program says so and ends with status 1, and nothing is saved.
TEST_F(CliLookup, CtrlCEndsALookupOrSubmissionAtOnce) {
    ASSERT_EQ(scratch_.run({"lookup", "--save"}).exitStatus, 0);
    server_.setMode(testing::CddbTestServer::Mode::NeverAnswer);
    const std::string library = test::readFile(scratch_.libraryFolder() / "30C14.cdb");
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{"lookup", "--save"}, "The lookup was canceled.\n"},
        {{"submit"}, "The submission was canceled.\n"}};
    for (const auto& [command, said] : runs) {
        server_.clearRequests();
        CliProcess running(kCliProgram, command, scratch_.environment(), scratch_.root().string());
        for (int wait = 0; wait < 500 && server_.requests().empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_FALSE(server_.requests().empty()) << command[0];
        running.interrupt();
        const ProcessResult result = running.finish();
        EXPECT_EQ(result.exitStatus, 1) << command[0];
        EXPECT_EQ(result.err, said);
    }
    EXPECT_EQ(test::readFile(scratch_.libraryFolder() / "30C14.cdb"), library);
}

// Without its folder the library has no file to create, and the program does not claim one.
TEST_F(CliLookup, ALibraryReadWithoutTheLibraryFolderSaysTheFileCouldNotBeMade) {
    std::filesystem::remove_all(scratch_.libraryFolder());
    const ProcessResult read = scratch_.run({"library", "read"});
    EXPECT_EQ(read.exitStatus, 1);
    EXPECT_EQ(read.err,
              "The disc is not in the local CD library, and its file could not be "
              "created: " +
                  (scratch_.libraryFolder() / "30C14.cdb").string() +
                  ": No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(scratch_.libraryFolder()));
}

// submit sends the disc as the library holds it, with the job's messages; --test asks the server
// only to check it. An incomplete disc gets the refusal and sends nothing.
TEST_F(CliLookup, SubmitSendsTheLibrarysDiscWithTheJobsMessages) {
    const ProcessResult untitled = scratch_.runInRoot({"submit"});
    EXPECT_EQ(untitled.exitStatus, 1);
    EXPECT_EQ(untitled.err,
              "This CD could not be submitted because: Artist name and album title "
              "not filled in.\n");
    EXPECT_TRUE(server_.requests().empty());
    EXPECT_EQ(std::filesystem::file_size(scratch_.root() / "dblog.txt"), 65536u);

    ASSERT_EQ(scratch_.run({"lookup", "--save"}).exitStatus, 0);
    server_.clearRequests();
    const ProcessResult tested = scratch_.runInRoot({"submit", "--test"});
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_EQ(tested.err, "Entry submitted\n");
    const auto requests = server_.requests();
    ASSERT_FALSE(requests.empty());
    const testing::HttpRequest& sent = requests.back();
    EXPECT_EQ(sent.target, "/~cddb/submit.cgi");
    EXPECT_EQ(sent.header("Submit-Mode"), "test");
    EXPECT_EQ(sent.header("Category"), "jazz");
    EXPECT_EQ(sent.header("Discid"), "0c016602");
    EXPECT_NE(sent.body.find("\r\nDTITLE=Drive Artist / Drive Album\r\n"), std::string::npos)
        << sent.body;
    EXPECT_NE(sent.body.find("\r\nTTITLE1=Dos \xe8\r\n"), std::string::npos) << sent.body;
    EXPECT_NE(test::readFile(scratch_.root() / "dblog.txt").find("TTITLE0=Uno \"1\""),
              std::string::npos);

    fixtures_.setSubmitBody("500 Missing required header information.\r\n");
    const ProcessResult failed = scratch_.runInRoot({"submit"});
    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_EQ(failed.err, "Error submitting entry\n");
    EXPECT_EQ(server_.requests().back().header("Submit-Mode"), "submit");
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
