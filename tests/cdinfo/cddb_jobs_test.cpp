// The lookup and submit jobs end to end: a view, the loopback CDDB server, and a real HTTP proxy.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/cddb_test_server.h"
#include "cdinfo/debug_trace.h"
#include "cdinfo/disc_info.h"
#include "cdinfo/fake_disc_view.h"
#include "cdinfo/xmcd_entry.h"
#include "codecs/genres.h"
#include "platform/job_thread.h"
#include "platform/text_codec.h"

namespace tonalda::cddb {
namespace {

using testing::CddbFixtures;
using testing::CddbTestServer;
using testing::FakeDiscView;
using testing::HttpRequest;

constexpr const char* kExampleEntry =
    "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t14270\r\n#\r\n"
    "# Disc length: 360 seconds\r\n#\r\n# Revision: 3\r\n#\r\nDISCID=0c016602\r\n"
    "DTITLE=Entry Artist / Entry Album\r\nDYEAR=1999\r\nDGENRE=Rock\r\n"
    "TTITLE0=First \xe4\r\nTTITLE1=Second\r\nEXTD=\r\nEXTT0=\r\nEXTT1=\r\nPLAYORDER=\r\n";

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { ::unsetenv(name_); }

  private:
    const char* name_;
};

std::filesystem::path makeTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cddb-jobs-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// tinyproxy on a free loopback port with Basic authorization, as a child process for the
// lifetime of the object.
class Tinyproxy {
  public:
    Tinyproxy(const std::filesystem::path& folder, const std::string& user,
              const std::string& password)
        : port_(freeLoopbackPort()) {
        const auto config = folder / "tinyproxy.conf";
        std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 10\n"
                              << "MaxClients 8\nAllow 127.0.0.1\nLogLevel Error\n"
                              << "LogFile \"" << (folder / "tinyproxy.log").string() << "\"\n"
                              << "BasicAuth " << user << " " << password << "\n";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("tinyproxy", "tinyproxy", "-d", "-c", config.c_str(), nullptr);
            ::_exit(127);
        }
        // Wait until it listens.
        for (int attempt = 0; attempt < 100 && !listening(); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Tinyproxy() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }
    bool listening() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

  private:
    int port_;
    pid_t pid_ = -1;
};

class CddbJobsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetCddbConfig();
        setCddbTimeouts({std::chrono::milliseconds(3000), std::chrono::milliseconds(3000)});
        fixtures_.setQueryReply("0c016602", "200 rock 0c016602 Some Artist / Some Album\r\n");
        fixtures_.setEntry("0c016602", kExampleEntry);
        settings_.Server = 0;
        settings_.Port = server_.port();
        settings_.QueryScript = "/~cddb/cddb.cgi";
        settings_.SubmitScript = "/~cddb/submit.cgi";
        settings_.email = "me@example.org";
        folder_ = makeTempFolder();
    }
    void TearDown() override {
        resetCddbConfig();
        setCddbTimeouts({});
        std::filesystem::remove_all(folder_);
    }

    // Runs one more lookup of the example disc and gives the requests it sent.
    std::vector<HttpRequest> requestsOfALookup() {
        server_.clearRequests();
        FakeDiscView view;
        EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
        return server_.requests();
    }

    CddbFixtures fixtures_;
    CddbTestServer server_{std::ref(fixtures_)};
    FreeDbSettings settings_;
    std::filesystem::path folder_;
};

void expectExampleLookupResult(FakeDiscView& view) {
    const DiscInfo info = view.discInfo().snapshot();
    EXPECT_EQ(info.artist, "Entry Artist");  // from the entry, whose DTITLE is never cut
    EXPECT_EQ(info.album, "Entry Album");
    EXPECT_EQ(info.genreIndex, 17);
    EXPECT_TRUE(info.infoPresent);
    EXPECT_EQ(view.titles(), (std::vector<std::string>{"First \xc3\xa4", "Second"}));
    const TagInfo tag = view.rowTag(0);
    EXPECT_EQ(tag.isV1, 1);
    EXPECT_EQ(tag.Title1, "First \xc3\xa4");
    EXPECT_EQ(tag.Artist1, "Entry Artist");
    EXPECT_EQ(tag.Album1, "Entry Album");
    EXPECT_EQ(tag.Genre1, 17);
    EXPECT_EQ(view.rowTag(1).Title1, "Second");
    EXPECT_EQ(view.recordedPrompts().texts(), std::vector<std::string>{"CDDB Query Success."});
    const auto messages = view.sink().messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, UM_SHOW_DISC_INFO);
    EXPECT_EQ(messages[1].message, UM_SET_TRACK_TITLE);
    EXPECT_EQ(messages[2].lParam, 1);
}

TEST_F(CddbJobsTest, LookupThroughTheHostOverrideFillsDiscInfoAndRows) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    FakeDiscView view;
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    expectExampleLookupResult(view);

    // The level is verified with the options as they were before the job: this first lscat went to
    // the initial port and failed, so the query asks for level 4.
    auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw, testing::exampleQueryRequest(4));
    EXPECT_EQ(requests[1].command(), "cddb read rock 0c016602");

    // The next lookup verifies level 6 (UTF-8) with this job's options and sends the worked
    // example at that level.
    requests = requestsOfALookup();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].raw, testing::exampleLscatRequest(6));
    EXPECT_EQ(requests[1].raw, testing::exampleQueryRequest(6));

    // Later lookups in the run need no lscat.
    EXPECT_EQ(requestsOfALookup().size(), 2u);
}

// A server that speaks level 5 at most: level 6 is refused, and the lookup goes on at level 5 with
// the requests of the worked example, byte for byte.
TEST_F(CddbJobsTest, AServerWithoutLevelSixIsAskedForLevelFive) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    fixtures_.setHighestLevel(5);
    // The options as a last lookup left them.
    setCddbOption(kOptServerPort, std::nullopt, server_.port());
    setCddbOption(kOptEmail, "me@example.org", 0);
    setCddbOption(kOptClientName, "Marrowby v1.01", 0);
    auto requests = requestsOfALookup();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].raw, testing::exampleLscatRequest(6));
    EXPECT_EQ(requests[1].raw, testing::kExampleLscatRequest);
    EXPECT_EQ(requests[2].raw, testing::exampleQueryRequest(5));
    EXPECT_EQ(getCddbOption(kOptProtocolLevel), 5);

    // Level 5 is verified now; level 6 is asked for again, as a refused level always is.
    requests = requestsOfALookup();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].raw, testing::exampleLscatRequest(6));
    EXPECT_EQ(requests[1].raw, testing::exampleQueryRequest(5));
}

// Titles a server holds in UTF-8 come whole at level 6; a server without it sends ISO-8859-1,
// which has no room for them.
TEST_F(CddbJobsTest, NonLatinTitlesArriveWholeAtLevelSix) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    const std::string artist = "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e";
    const std::string album = "\xe4\xba\xa4\xe9\x9f\xbf\xe6\x9b\xb2\xe9\x9b\x86";
    const std::string title = "\xe7\xac\xac\xe4\xb8\x80 caf\xc3\xa9";
    fixtures_.setQueryReply("0c016602",
                            "200 classical 0c016602 " + artist + " / " + album + "\r\n");
    std::string entry = kExampleEntry;
    entry.replace(entry.find("Entry Artist / Entry Album"), 26, artist + " / " + album);
    entry.replace(entry.find("First \xe4"), 7, title);
    fixtures_.setEntry("0c016602", entry);
    setCddbOption(kOptServerPort, std::nullopt, server_.port());

    FakeDiscView view;
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    EXPECT_EQ(view.discInfo().snapshot().artist, artist);
    EXPECT_EQ(view.discInfo().snapshot().album, album);
    EXPECT_EQ(view.rowTag(0).Title1, title);

    fixtures_.setHighestLevel(5);
    resetCddbConfig();
    setCddbOption(kOptServerPort, std::nullopt, server_.port());
    FakeDiscView old;
    EXPECT_EQ(runCddbLookup(old, settings_), LookupOutcome::Success);
    EXPECT_EQ(old.rowTag(0).Title1, "?? caf\xc3\xa9");
}

// The album title of a match line of 80 characters or more is cut; the entry holds it whole, and
// the disc's fields keep their 80 characters. An entry that does not parse leaves the match line's.
TEST_F(CddbJobsTest, ArtistAndAlbumComeWholeFromTheEntry) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    const std::string album =
        "The Complete Recordings of the Last Tour, Volume " + std::string(60, 'X') + "\xc3\xa9nd";
    fixtures_.setQueryReply("0c016602", "200 rock 0c016602 Some Artist / " + album + "\r\n");
    std::string entry = kExampleEntry;
    entry.replace(entry.find("Entry Artist / Entry Album"), 26, "Some Artist / " + album);
    fixtures_.setEntry("0c016602", entry);
    FakeDiscView view;
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    EXPECT_EQ(view.discInfo().snapshot().album, album.substr(0, 80));
    EXPECT_EQ(view.rowTag(1).Album1, album.substr(0, 80));
    EXPECT_EQ(view.discInfo().snapshot().artist, "Some Artist");

    fixtures_.setEntry("0c016602", "# xmcd\r\n\r\nDTITLE=broken\r\n");
    FakeDiscView unparsed;
    EXPECT_EQ(runCddbLookup(unparsed, settings_), LookupOutcome::EntryUnparsed);
    const std::string cutLine = ("200 rock 0c016602 Some Artist / " + album).substr(0, 79);
    EXPECT_EQ(unparsed.discInfo().snapshot().album, cutLine.substr(cutLine.find(" / ") + 3));
}

TEST_F(CddbJobsTest, LookupThroughTheProxySettingsSendsAbsoluteUrlsAndCredentials) {
    settings_.Server = 3;
    settings_.Port = 1;  // plays no part through a proxy
    settings_.proxy = 1;
    settings_.proxyserver = "127.0.0.1";
    settings_.pport = server_.port();
    settings_.auth = 0;  // credentials are sent anyway
    settings_.username = "a";
    settings_.pass = "b";
    FakeDiscView view;
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    expectExampleLookupResult(view);
    for (const HttpRequest& request : server_.requests()) {
        EXPECT_TRUE(request.target.starts_with("http://ca.freedb.org/~cddb/cddb.cgi"))
            << request.target;
    }
    EXPECT_EQ(server_.requests().at(1).header("Proxy-Authorization"), "Basic YTpi");
}

TEST_F(CddbJobsTest, LookupThroughTinyproxyNeedsTheRightCredentials) {
    Tinyproxy proxy(folder_, "ripper", "s3cret");
    ASSERT_TRUE(proxy.listening());
    // The URL carries no port of its own, so the host names the test server's port for the proxy.
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1:" + std::to_string(server_.port()));
    settings_.proxy = 1;
    settings_.proxyserver = "127.0.0.1";
    settings_.pport = proxy.port();
    settings_.username = "ripper";
    settings_.pass = "s3cret";

    FakeDiscView view;
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    expectExampleLookupResult(view);
    const auto forwarded = server_.requests();
    ASSERT_EQ(forwarded.size(), 2u);  // the first lscat went out before the proxy was set
    EXPECT_EQ(forwarded[0].command(), "cddb query 0c016602 2 150 14270 360");
    EXPECT_EQ(forwarded[0].target, "/~cddb/cddb.cgi");
    EXPECT_EQ(forwarded[0].header("Proxy-Authorization"), "");  // the proxy keeps it

    // Wrong credentials: the proxy refuses the query and the job ends cleanly.
    server_.clearRequests();
    settings_.pass = "wrong";
    FakeDiscView refused;
    EXPECT_EQ(runCddbLookup(refused, settings_), LookupOutcome::NoMatches);
    // Only the lscat got through: it still went out with the previous job's credentials.
    ASSERT_EQ(server_.requests().size(), 1u);
    EXPECT_EQ(server_.requests()[0].command(), "cddb lscat");
    EXPECT_EQ(refused.recordedPrompts().texts(),
              std::vector<std::string>{"No matches in CDDB database..."});
    EXPECT_EQ(refused.discInfo().snapshot(), DiscInfo{});

    // Credentials longer than 96 bytes (128 Base64 characters) go out whole.
    {
        const std::string longPassword(120, 'p');
        std::filesystem::create_directories(folder_ / "long");
        Tinyproxy longProxy(folder_ / "long", "ripper", longPassword);
        ASSERT_TRUE(longProxy.listening());
        settings_.pport = longProxy.port();
        settings_.pass = longPassword;
        server_.clearRequests();
        FakeDiscView longView;
        EXPECT_EQ(runCddbLookup(longView, settings_), LookupOutcome::Success);
        EXPECT_EQ(longView.recordedPrompts().texts(),
                  std::vector<std::string>{"CDDB Query Success."});
    }
}

TEST_F(CddbJobsTest, LookupFailuresShowTheirMessagesAndChangeNothingElse) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    // No match.
    fixtures_.setQueryReply("0c016602", "202 No match for disc ID 0c016602.\r\n");
    FakeDiscView noMatch;
    EXPECT_EQ(runCddbLookup(noMatch, settings_), LookupOutcome::NoMatches);
    EXPECT_EQ(noMatch.recordedPrompts().texts(),
              std::vector<std::string>{"No matches in CDDB database..."});
    EXPECT_TRUE(noMatch.sink().messages().empty());
    EXPECT_EQ(noMatch.discInfo().snapshot(), DiscInfo{});

    // No disc identity: nothing at all.
    FakeDiscView noDisc;
    noDisc.identityReadable = false;
    server_.clearRequests();
    EXPECT_EQ(runCddbLookup(noDisc, settings_), LookupOutcome::NoDiscIdentity);
    EXPECT_TRUE(noDisc.recordedPrompts().texts().empty());

    // The read fails.
    FakeDiscView readFails;
    fixtures_.setQueryReply("0c016602", "200 rock 0c0166ff Some Artist / Some Album\r\n");
    EXPECT_EQ(runCddbLookup(readFails, settings_), LookupOutcome::ReadFailed);
    EXPECT_EQ(readFails.recordedPrompts().texts(),
              std::vector<std::string>{"Error retrieving CDDB info..."});
    EXPECT_EQ(readFails.discInfo().snapshot(), DiscInfo{});

    // An entry larger than the read buffer arrives cut: a failed read, not a success with the
    // titles wiped.
    fixtures_.setQueryReply("0c016602", "200 rock 0c016602 Some Artist / Some Album\r\n");
    std::string huge = kExampleEntry;
    huge.insert(huge.find("DISCID"), std::string(40000, '#') + "\r\n");
    fixtures_.setEntry("0c016602", huge);
    FakeDiscView tooLong;
    EXPECT_EQ(runCddbLookup(tooLong, settings_), LookupOutcome::ReadFailed);
    EXPECT_EQ(tooLong.recordedPrompts().texts(),
              std::vector<std::string>{"Error retrieving CDDB info..."});
    EXPECT_EQ(tooLong.sink().messagesOf(UM_SET_TRACK_TITLE).size(), 0u);
    EXPECT_EQ(tooLong.discInfo().snapshot(), DiscInfo{});

    // The entry does not parse: disc information is set, titles are not, no message.
    fixtures_.setQueryReply("0c016602",
                            "210 exact\r\njazz 0c016602 Some Artist / Some Album\r\n"
                            "rock 0c016602 Other / Other\r\n.\r\n");
    fixtures_.setEntry("0c016602", "# xmcd\r\n\r\nDTITLE=broken\r\n");
    FakeDiscView unparsed;
    EXPECT_EQ(runCddbLookup(unparsed, settings_), LookupOutcome::EntryUnparsed);
    EXPECT_TRUE(unparsed.recordedPrompts().texts().empty());
    EXPECT_EQ(unparsed.discInfo().snapshot().genreIndex, 8);  // the first exact match: jazz
    EXPECT_EQ(unparsed.sink().messagesOf(UM_SET_TRACK_TITLE).size(), 0u);
    EXPECT_FALSE(unparsed.discInfo().snapshot().infoPresent);
}

TEST_F(CddbJobsTest, LookupAgainstAServerThatNeverAnswersEndsWithItsMessage) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbTimeouts({std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
    server_.setMode(CddbTestServer::Mode::NeverAnswer);
    FakeDiscView view;
    std::jthread job([&] { runCddbLookup(view, settings_); });
    job.join();
    EXPECT_EQ(view.recordedPrompts().texts(),
              std::vector<std::string>{"No matches in CDDB database..."});
}

// A server dripping its replies a byte at a time: the lookup ends at each request's deadline with
// the message of the step that failed, and the disc is left as it was.
TEST_F(CddbJobsTest, ALookupAgainstADrippingServerEndsWithItsFailureMessage) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbTimeouts(
        {std::chrono::seconds(5), std::chrono::seconds(5), std::chrono::milliseconds(300)});
    server_.dripReplies(std::chrono::milliseconds(20), "query");
    FakeDiscView query;
    EXPECT_EQ(runCddbLookup(query, settings_), LookupOutcome::NoMatches);
    EXPECT_EQ(query.recordedPrompts().texts(),
              std::vector<std::string>{"No matches in CDDB database..."});

    server_.dripReplies(std::chrono::milliseconds(20), "read");
    FakeDiscView read;
    EXPECT_EQ(runCddbLookup(read, settings_), LookupOutcome::ReadFailed);
    EXPECT_EQ(read.recordedPrompts().texts(),
              std::vector<std::string>{"Error retrieving CDDB info..."});
    EXPECT_EQ(read.discInfo().snapshot(), DiscInfo{});
}

// The lookup stopped while the server holds its request, first while the protocol level is
// verified, then while the disc is queried.
TEST_F(CddbJobsTest, ALookupCancelledWhileTheServerIsSlowEndsAtOnceAndChangesNothing) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbTimeouts({std::chrono::seconds(30), std::chrono::seconds(30)});
    server_.setMode(CddbTestServer::Mode::NeverAnswer);
    for (const bool levelVerified : {false, true}) {
        SCOPED_TRACE(levelVerified ? "during the query" : "during the level's check");
        server_.clearRequests();
        // The level's check goes out with the port the last job left.
        setCddbOption(kOptServerPort, std::nullopt, server_.port());
        if (levelVerified)
            setHighestVerifiedLevel(6);
        FakeDiscView view;
        view.fillDefaultTitles();
        view.discInfo().update([](DiscInfo& info) { info.artist = "Kept"; });
        const TagInfo tagBefore = view.rowTag(0);
        JobEventQueue events;
        std::vector<JobNotice> seen;
        std::chrono::steady_clock::duration stopping{};
        {
            CddbLookupJob job(view, events);
            ASSERT_TRUE(job.start(settings_));
            while (server_.requests().empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(server_.requests()[0].command(),
                      levelVerified ? "cddb query 0c016602 2 150 14270 360" : "cddb lscat");
            const auto stop = std::chrono::steady_clock::now();
            finishOnReceiverThread(job, events, [&](const JobNotice& n) { seen.push_back(n); });
            stopping = std::chrono::steady_clock::now() - stop;
            EXPECT_FALSE(job.running());
            EXPECT_EQ(job.outcome(), LookupOutcome::Canceled);
        }  // the worker is joined here
        EXPECT_LT(stopping, std::chrono::seconds(1));
        EXPECT_EQ(seen.back().event, JobEvent(JobFinished{JobOutcome::Canceled}));
        EXPECT_EQ(view.titles(), (std::vector<std::string>{"Track 01", "Track 02"}));
        EXPECT_EQ(view.rowTag(0), tagBefore);
        EXPECT_EQ(view.discInfo().snapshot().artist, "Kept");
        EXPECT_TRUE(view.recordedPrompts().texts().empty());
        EXPECT_TRUE(view.sink().messages().empty());
    }
}

TEST_F(CddbJobsTest, MoreEntryTracksThanRowsFillOnlyTheRows) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    FakeDiscView view(testing::exampleToc(), 1);
    EXPECT_EQ(runCddbLookup(view, settings_), LookupOutcome::Success);
    EXPECT_EQ(view.rowTag(0).Title1, "First \xc3\xa4");
    EXPECT_EQ(view.sink().messagesOf(UM_SET_TRACK_TITLE).size(), 1u);
}

TEST(CddbConfigs, EachJobBuildsItsOwnConfigurationAndTheSharedOptionsStayAsTheyWere) {
    resetCddbConfig();
    setCddbOption(kOptServerPort, std::nullopt, 1234);  // as a last lookup left it
    setCddbOption(kOptClientName, "earlier client", 0);
    CddbConfig previous = cddbConfig();
    previous.highestVerifiedLevel = 5;  // no check with the server needed
    FreeDbSettings settings;
    settings.Server = 3;
    settings.Port = 8880;
    settings.QueryScript = "/q.cgi";
    settings.SubmitScript = "/s.cgi";
    settings.email = "me@example.org";
    settings.proxy = 1;
    settings.proxyserver = "proxy.example.org";
    settings.pport = 3128;
    settings.username = "user";
    settings.pass = "secret";

    const CddbConfig lookup = lookupConfig(previous, settings, neverCancelled());
    EXPECT_EQ(lookup.serverHost, "ca.freedb.org");
    EXPECT_EQ(lookup.serverPort, 8880);
    EXPECT_EQ(lookup.protocolLevel, 5);
    EXPECT_EQ(lookup.clientName, "Marrowby+v1.01");
    EXPECT_EQ(lookup.email, "me+example.org");
    EXPECT_EQ(lookup.queryScript, "/q.cgi");
    EXPECT_FALSE(lookup.mirrorIni);
    EXPECT_TRUE(lookup.useProxy);
    EXPECT_EQ(lookup.proxyHost, "proxy.example.org");
    EXPECT_EQ(lookup.proxyPort, 3128);
    EXPECT_EQ(lookup.proxyAuthorization, base64Encode("user:secret"));

    const CddbConfig submit = submitConfig(previous, settings);
    EXPECT_EQ(submit.serverPort, 1234) << "a submission keeps the port the last lookup left";
    EXPECT_EQ(submit.clientName, "aaa");
    EXPECT_EQ(submit.submitScript, "/s.cgi");
    EXPECT_EQ(submit.protocolLevel, previous.protocolLevel);

    // Building them changed nothing that other jobs read; publishing is one step.
    EXPECT_EQ(cddbConfig().serverPort, 1234);
    EXPECT_EQ(cddbConfig().clientName, "earlier+client");
    publishCddbConfig(lookup);
    EXPECT_EQ(cddbConfig().clientName, "Marrowby+v1.01");
    EXPECT_EQ(cddbConfig().highestVerifiedLevel, 5);
    resetCddbConfig();
}

TEST(CddbServers, ListOverrideAndCategories) {
    EXPECT_EQ(cddbServerHost(0), "gnudb.gnudb.org");
    EXPECT_EQ(cddbServerHost(7), "uk.freedb.org");
    EXPECT_EQ(cddbServerHost(-1), "");
    EXPECT_EQ(cddbServerHost(8), "");
    {
        ScopedEnv host("TONALDA_CDDB_HOST", "localhost");
        EXPECT_EQ(cddbServerHost(5), "localhost");
    }
    const std::vector<std::pair<std::string, int>>
        categories = {{"blues", 0},     {"classical", 32}, {"country", 2},  {"folk", 80},
                      {"jazz", 8},      {"reggae", 16},    {"rock", 17},    {"soundtrack", 24},
                      {"data", 147},    {"misc", 147},     {"newage", 147}, {"Rock", 147},
                      {"synthpop", 147}};  // the last table name is never matched
    for (const auto& [category, genre] : categories)
        EXPECT_EQ(genreIndexOfCategory(category), genre) << category;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs "Submit to FreeDB" as the rip view does and waits for its job; false when none started.
bool submitAndWait(DiscView& view, const FreeDbSettings& settings,
                   const std::filesystem::path& folder) {
    JobEventQueue events;
    CddbSubmitJob job(view, events);
    if (!job.start(settings, folder))
        return false;
    deliverUntilFinished(events, job.id(), [](const JobNotice&) {});
    return true;
}

class SubmitTest : public CddbJobsTest {
  protected:
    void SetUp() override {
        CddbJobsTest::SetUp();
        view_.discInfo().update([](DiscInfo& info) {
            info.artist = "Some Artist";
            info.album = "Some Album";
            info.genreIndex = 1;
        });
        view_.fillDefaultTitles();
        view_.setTrackTitle(0, "One");
        view_.setTrackTitle(1, "Two \xc3\xa4");
    }
    FakeDiscView view_;
};

TEST_F(SubmitTest, FormatsTheWorkedExampleEntry) {
    view_.discInfo().update([](DiscInfo& info) { info.submitRevision = 1; });
    std::vector<std::string> traces;
    const auto previous =
        setDebugTraceSink([&](std::string_view line) { traces.emplace_back(line); });
    SubmitEntry entry;
    EXPECT_EQ(formatSubmitEntry(view_, view_.discInfo().snapshot(), 4, entry), kSubmitComplete);
    setDebugTraceSink(previous);
    EXPECT_EQ(traces, std::vector<std::string>{"in formatSubmitEntry..."});
    EXPECT_EQ(entry.discId, 0x0c016602u);
    EXPECT_EQ(entry.text,
              "# xmcd\r\n#\r\n# Track frame offsets:\r\n#       150\r\n#       14270\r\n#\r\n"
              "# Disc length: 360 seconds\r\n#\r\n# Revision: 1\r\n"
              "# Submitted via: Marrowby v1.01\r\n#\r\nDISCID=0c016602\r\n"
              "DTITLE=Some Artist / Some Album\r\nTTITLE0=One\r\nTTITLE1=Two \xc3\xa4\r\n"
              "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nPLAYORDER=\r\n");
    // What we submit parses as an entry, strict checks included.
    XmcdEntry parsed(entry.text);
    ASSERT_TRUE(parsed.parse());
    EXPECT_EQ(parsed.trackTitle(1), "Two \xc3\xa4");

    for (const int level : {5, 6}) {
        EXPECT_EQ(formatSubmitEntry(view_, view_.discInfo().snapshot(), level, entry),
                  kSubmitComplete);
        EXPECT_NE(entry.text.find("DTITLE=Some Artist / Some Album\r\nDYEAR= \r\n"
                                  "DGENRE=classic rock\r\nTTITLE0="),
                  std::string::npos)
            << level;
    }

    const std::string dump = entry.dump();
    ASSERT_EQ(dump.size(), 65536u);
    EXPECT_EQ(dump.substr(0, 4), std::string("\x02\x66\x01\x0c", 4));
    EXPECT_EQ(dump.substr(4, entry.text.size()), entry.text);
    EXPECT_EQ(dump.find_first_not_of('\0', 4 + entry.text.size()), std::string::npos);
}

// Text from a lookup or the user cannot add lines to a submission, and long titles go out on
// continuation lines that every reader takes, our own strict parser included.
TEST_F(SubmitTest, TitlesAreEscapedAndLongOnesContinuedOnMoreLines) {
    view_.discInfo().update([](DiscInfo& info) {
        info.artist = "Evil\nTTITLE0=Injected\r\nDTITLE=X";
        info.album = "Back\\slash\tTab";
    });
    std::string longTitle;
    for (int i = 0; i < 300; ++i)
        longTitle += "\u65e5";  // three bytes each: 900 bytes
    longTitle += "\\n";
    view_.setTrackTitle(0, longTitle);
    SubmitEntry entry;
    ASSERT_EQ(formatSubmitEntry(view_, view_.discInfo().snapshot(), 4, entry), kSubmitComplete);

    EXPECT_NE(entry.text.find("\r\nDTITLE=Evil\\nTTITLE0=Injected\\nDTITLE=X / "
                              "Back\\\\slash\\tTab\r\n"),
              std::string::npos)
        << entry.text;
    std::size_t lineStart = 0;
    int titleLines = 0;
    while (lineStart < entry.text.size()) {
        const std::size_t end = entry.text.find("\r\n", lineStart);
        ASSERT_NE(end, std::string::npos);
        const std::string line = entry.text.substr(lineStart, end - lineStart);
        EXPECT_LE(line.size() + 2, 256u) << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        EXPECT_TRUE(text::isValidUtf8(line)) << "a character was split: " << line;
        EXPECT_FALSE(line.ends_with("\\") && !line.ends_with("\\\\")) << "an escape was split";
        titleLines += line.starts_with("TTITLE0=");
        lineStart = end + 2;
    }
    EXPECT_EQ(titleLines, 4);
    EXPECT_EQ(entry.text.find("\r\nTTITLE0=Injected"), std::string::npos);

    // Our strict parser reads it back whole: the title joined from its lines, the disc title on
    // one DTITLE line.
    XmcdEntry parsed(entry.text);
    ASSERT_TRUE(parsed.parse());
    EXPECT_EQ(parsed.trackTitle(0), longTitle.substr(0, longTitle.size() - 2) + "\\\\n");
    EXPECT_EQ(parsed.artist(), "Evil\\nTTITLE0=Injected\\nDTITLE=X");
    EXPECT_EQ(parsed.trackCount(), 2);
}

TEST_F(SubmitTest, RefusalsAreShownAndDumpedAndRevisionsCount) {
    // A default title left: -3. Blank artist and album (one space each) pass that check.
    view_.discInfo().update([](DiscInfo& info) { info.artist = info.album = " "; });
    view_.setTrackTitle(1, "Track 02");
    EXPECT_FALSE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(),
              "This CD could not be submitted because: You must enter all track titles.");
    EXPECT_NE(readFile(folder_ / "dblog.txt").find("# Revision: 1\r\n"), std::string::npos);

    // Artist and album empty: -2, and the partly built entry is still dumped.
    view_.discInfo().update([](DiscInfo& info) { info.artist = info.album = ""; });
    EXPECT_FALSE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(),
              "This CD could not be submitted because: Artist name and album title not filled in.");
    const std::string dump = readFile(folder_ / "dblog.txt");
    EXPECT_EQ(dump.size(), 65536u);
    EXPECT_NE(dump.find("# Revision: 2\r\n"), std::string::npos);
    EXPECT_NE(dump.find("DTITLE= / \r\n"), std::string::npos);
    EXPECT_EQ(dump.find("TTITLE"), std::string::npos);
    EXPECT_TRUE(server_.requests().empty());

    // Before any table of contents was read.
    FakeDiscView unread(std::nullopt, 0);
    EXPECT_FALSE(submitAndWait(unread, settings_, folder_));
    EXPECT_EQ(unread.recordedPrompts().texts().back(),
              "This CD could not be submitted because: The CD has not been read yet.");
}

TEST_F(SubmitTest, SubmitJobSendsTheEntryAndReportsTheServersAnswer) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbOption(kOptServerPort, std::nullopt, server_.port());   // left by the last lookup
    ASSERT_FALSE(std::filesystem::exists(folder_ / "dblog.txt"));  // created when missing
    ASSERT_TRUE(submitAndWait(view_, settings_, folder_));
    EXPECT_TRUE(std::filesystem::exists(folder_ / "dblog.txt"));
    EXPECT_EQ(view_.recordedPrompts().texts(), std::vector<std::string>{"Entry submitted"});
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/~cddb/submit.cgi");
    EXPECT_EQ(requests[0].header("Category"), "rock");  // Classic Rock is not a category
    EXPECT_EQ(requests[0].header("Discid"), "0c016602");
    EXPECT_EQ(requests[0].header("User-Email"), "me@example.org");
    EXPECT_EQ(requests[0].header("Submit-Mode"), "submit");
    EXPECT_NE(requests[0].body.find("TTITLE1=Two \xe4\r\n"), std::string::npos);  // ISO-8859-1

    fixtures_.setSubmitBody("501 Invalid header information [disc ID].\r\n");
    ASSERT_TRUE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(), "Error submitting entry");
    EXPECT_EQ(view_.discInfo().snapshot().submitRevision, 2);
}

// A title that ISO-8859-1 cannot hold: the submission asks the server for level 6 and goes out as
// UTF-8; a server without level 6 gets nothing, and the user is told which line could not go.
TEST_F(SubmitTest, ANonLatinEntryGoesOutAsUtf8OrNotAtAll) {
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbOption(kOptServerPort, std::nullopt, server_.port());
    const std::string title = "\xe6\x97\xa5\xe6\x9c\xac caf\xc3\xa9";
    view_.setTrackTitle(0, title);
    ASSERT_TRUE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(), "Entry submitted");
    auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command(), "cddb lscat");
    EXPECT_EQ(requests[0].protocolLevel(), 6);
    EXPECT_EQ(requests[1].header("Charset"), "UTF-8");
    EXPECT_NE(requests[1].body.find("\r\nTTITLE0=" + title + "\r\nTTITLE1=Two \xc3\xa4\r\n"),
              std::string::npos);

    resetCddbConfig();
    setCddbOption(kOptServerPort, std::nullopt, server_.port());
    fixtures_.setHighestLevel(5);
    server_.clearRequests();
    ASSERT_TRUE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(), submitLatin1RefusalText("TTITLE0=" + title));
    ASSERT_EQ(server_.requests().size(), 1u);
    EXPECT_EQ(server_.requests()[0].command(), "cddb lscat");
}

// Every genre goes out under one of the eleven categories; a genre named like a category, and
// the genre a lookup gives for each category, go back under that category.
TEST_F(SubmitTest, TheCategoryIsOneTheServerTakes) {
    const std::set<std::string_view> categories = {"blues",  "classical", "country",   "data",
                                                   "folk",   "jazz",      "misc",      "newage",
                                                   "reggae", "rock",      "soundtrack"};
    for (int genre = -1; genre <= kGenreCount; ++genre)
        EXPECT_TRUE(categories.contains(submitCategoryOfGenre(genre))) << genre;
    for (const std::string_view category : categories) {
        const int looked = genreIndexOfCategory(category);
        EXPECT_EQ(submitCategoryOfGenre(looked),
                  category == "data" || category == "newage" ? "misc" : category)
            << category;
    }
    EXPECT_EQ(submitCategoryOfGenre(10), "newage");      // New Age
    EXPECT_EQ(submitCategoryOfGenre(1), "rock");         // Classic Rock
    EXPECT_EQ(submitCategoryOfGenre(103), "classical");  // Opera

    // A disc without a genre goes out as misc, not with an empty category.
    ScopedEnv host("TONALDA_CDDB_HOST", "127.0.0.1");
    setCddbOption(kOptServerPort, std::nullopt, server_.port());
    view_.discInfo().update([](DiscInfo& info) { info.genreIndex = -1; });
    ASSERT_TRUE(submitAndWait(view_, settings_, folder_));
    EXPECT_EQ(view_.recordedPrompts().texts().back(), "Entry submitted");
    EXPECT_EQ(server_.requests().back().header("Category"), "misc");
}

}  // namespace
}  // namespace tonalda::cddb
