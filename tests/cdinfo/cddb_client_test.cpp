// The CDDB transport and commands against a loopback server that records every request.

#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_test_server.h"

namespace tonalda::cddb {
namespace {

using testing::CddbFixtures;
using testing::CddbTestServer;
using testing::HttpRequest;

constexpr std::array<int, 2> kExampleOffsets = {150, 14270};
constexpr std::uint32_t kExampleDiscId = 0x0c016602;

class CddbClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetCddbConfig();
        setCddbTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(2000)});
    }
    void TearDown() override {
        resetCddbConfig();
        setCddbTimeouts({});
    }

    void pointAt(const CddbTestServer& server) {
        setCddbOption(kOptServerHost, "127.0.0.1", 0);
        setCddbOption(kOptServerPort, std::nullopt, server.port());
        setCddbOption(kOptEmail, "me@example.org", 0);
        setCddbOption(kOptClientName, "Marrowby v1.01", 0);
    }
};

TEST(Base64, EncodesRfc4648VectorsAndCredentials) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode(":"), "Og==");
    EXPECT_EQ(base64Encode("a:b"), "YTpi");
    EXPECT_EQ(base64Encode("\xff\xfe\x00"), "//4=");  // high bytes are not sign-extended
}

TEST(SkipHttpHeaders, FindsTheBodyOnlyAfterAnHttpHeaderBlock) {
    EXPECT_EQ(skipHttpHeaders("HTTP/1.0 200 OK\r\nA: b\r\n\r\n200 body\r\n"), "200 body\r\n");
    EXPECT_EQ(skipHttpHeaders("200 no headers\r\n\r\nmore"), "200 no headers\r\n\r\nmore");
    EXPECT_EQ(skipHttpHeaders("HTTP/1.0 200 OK\r\nno blank line"),
              "HTTP/1.0 200 OK\r\nno blank line");
    EXPECT_EQ(skipHttpHeaders(""), "");
}

TEST_F(CddbClientTest, OptionsKeepTheirLimitsEscapesAndNumericAnswers) {
    setCddbOption(kOptEmail, "@me @example.org", 0);
    EXPECT_EQ(cddbConfig().email, "@me++example.org");  // the first character stays
    setCddbOption(kOptClientName, "Marrowby v1.01", 0);
    EXPECT_EQ(cddbConfig().clientName, "Marrowby+v1.01");
    setCddbOption(kOptServerHost, std::string(300, 'h'), 0);
    EXPECT_EQ(cddbConfig().serverHost.size(), 255u);
    setCddbOption(kOptQueryScript, std::string(100, 'p'), 0);
    EXPECT_EQ(cddbConfig().queryScript.size(), 80u);
    setCddbOption(kOptServerHost, std::nullopt, 0);  // no text leaves the host alone
    EXPECT_EQ(cddbConfig().serverHost.size(), 255u);

    bool numeric = true;
    EXPECT_EQ(getCddbOption(kOptServerHost, &numeric), 0);
    EXPECT_FALSE(numeric);
    EXPECT_EQ(getCddbOption(kOptServerPort, &numeric), 80);
    EXPECT_TRUE(numeric);
    EXPECT_EQ(getCddbOption(kOptProtocolLevel), 4);
    EXPECT_EQ(getCddbOption(kOptUsePost), 1);

    setCddbOption(kOptProxyAuth, "a:b", 0);
    EXPECT_EQ(cddbConfig().proxyAuthorization, "YTpi");
    // Long credentials are kept whole: a cut Base64 text is no valid authorization.
    setCddbOption(kOptProxyAuth, std::string(200, 'x'), 0);
    EXPECT_EQ(cddbConfig().proxyAuthorization, base64Encode(std::string(200, 'x')));
    setCddbOption(kOptProxyAuth, std::nullopt, 0);
    EXPECT_FALSE(cddbConfig().proxyAuthorization);
}

TEST_F(CddbClientTest, BuildsTheFourRequestFormsByteForByte) {
    CddbConfig config = cddbConfig();
    config.serverHost = "db.example.org";
    config.serverPort = 8080;
    EXPECT_EQ(buildPostRequest(config, "/~cddb/cddb.cgi", "cmd=x", "Extra: 1\r\n"),
              "POST /~cddb/cddb.cgi HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "User-Agent: Cordane090\r\nExtra: 1\r\nContent-Length: 7\r\n\r\ncmd=x\r\n");
    EXPECT_EQ(
        buildGetRequest(config, "/~cddb/cddb.cgi", "cmd=y", std::nullopt),
        "GET /~cddb/cddb.cgi?cmd=y HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Cordane090\r\n\r\n");

    config.useProxy = true;
    config.proxyAuthorization = base64Encode("a:b");
    EXPECT_EQ(buildPostRequest(config, "/~cddb/cddb.cgi", "cmd=x", "Extra: 1\r\n"),
              "POST http://db.example.org/~cddb/cddb.cgi HTTP/1.0\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nUser-Agent: Cordane090\r\n"
              "Extra: 1\r\nProxy-Authorization: Basic YTpi\r\nContent-Length: 7\r\n\r\ncmd=x\r\n");
    EXPECT_EQ(buildGetRequest(config, "/~cddb/cddb.cgi", "cmd=y", std::nullopt),
              "GET http://db.example.org/~cddb/cddb.cgi?cmd=y HTTP/1.0\r\nAccept: */*\r\n"
              "User-Agent: Cordane090\r\nProxy-Authorization: Basic YTpi\r\n\r\n");

    // Without POST a direct command goes out as a simple request; a proxied one ignores it.
    config.usePost = false;
    config.useProxy = false;
    EXPECT_EQ(buildPostRequest(config, "/c.cgi", "cmd=x", std::nullopt), "GET /c.cgi?cmd=x\r\n");
}

TEST_F(CddbClientTest, WorkedExampleQueryGoesOutExactlyAndFindsTheMatch) {
    CddbFixtures fixtures;
    fixtures.setQueryReply("0c016602", "200 rock 0c016602 Some Artist / Some Album\r\n");
    CddbTestServer server(std::ref(fixtures));
    pointAt(server);
    setCddbOption(kOptProtocolLevel, std::nullopt, 5);  // verified with an lscat first

    std::vector<CddbMatch> matches;
    EXPECT_EQ(cddbQuery(kExampleDiscId, kExampleOffsets, 360, matches), kCddbOk);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0], (CddbMatch{"rock", "0c016602", 1, "Some Artist", "Some Album"}));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].raw, testing::kExampleLscatRequest);
    EXPECT_EQ(requests[1].raw, testing::exampleQueryRequest(5));
}

TEST_F(CddbClientTest, TheTestServerAnswersAsTheProxyForAbsoluteUrls) {
    CddbFixtures fixtures;
    CddbTestServer server(std::ref(fixtures));
    setCddbOption(kOptServerHost, "db.example.org", 0);
    setCddbOption(kOptServerPort, std::nullopt, 1);  // plays no part through the proxy
    setCddbOption(kOptUseProxy, std::nullopt, 1);
    setCddbOption(kOptProxyHost, "localhost", 0);
    setCddbOption(kOptProxyPort, std::nullopt, server.port());
    setCddbOption(kOptProxyAuth, "a:b", 0);

    std::vector<CddbMatch> matches;
    const std::array<int, 15> offsets = {150,    21052,  43715,  58057,  71430,
                                         92865,  117600, 131987, 150625, 163292,
                                         181490, 195685, 210197, 233230, 249257};
    cddbQuery(0xd50dd30f, offsets, 3541, matches);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0], (CddbMatch{"reggae", "d50dd30f", 0, "Various", "Ska Island"}));
    EXPECT_EQ(matches[1].category, "misc");

    std::string entry;
    EXPECT_EQ(cddbRead(matches[0], entry), kCddbOk);
    EXPECT_TRUE(entry.starts_with("# xmcd"));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "http://db.example.org/~cddb/cddb.cgi");
    EXPECT_EQ(requests[0].header("Proxy-Authorization"), "Basic YTpi");
    EXPECT_EQ(requests[1].command(), "cddb read reggae d50dd30f");
    EXPECT_TRUE(requests[1].body.ends_with("&hello=user+example.org+cordane32dll+1.0&proto=4\r\n"))
        << requests[1].body;
}

TEST(QueryReply, ReadsStatusLinesAndMatchLinesByTheRules) {
    const auto parse = [](const std::string& body, std::size_t capacity = 32) {
        return parseQueryReply("HTTP/1.0 200 OK\r\n\r\n" + body, capacity);
    };
    // 210 and 211 lists up to the "." line; the exact flag follows the status.
    const std::string list =
        "misc c711930d Santana / Supernatural\r\n"
        "rock c711930d Santana / Supernatural\r\n"
        "blues c711930d Santana / Supernatural\r\n.\r\n"
        "jazz c711930d After / The Dot\r\n";
    const auto exact = parse("210 Found exact matches\r\n" + list);
    ASSERT_EQ(exact.size(), 3u);
    EXPECT_EQ(exact[2], (CddbMatch{"blues", "c711930d", 1, "Santana", "Supernatural"}));
    const auto inexact = parse("211 Found inexact matches\r\n" + list);
    ASSERT_EQ(inexact.size(), 3u);
    EXPECT_EQ(inexact[0].exact, 0);
    EXPECT_EQ(parse("211 x\r\n" + list, 2).size(), 2u);  // the caller's capacity

    EXPECT_TRUE(parse("202 No match for disc ID 000c4804.\r\n").empty());
    EXPECT_TRUE(parse("200 rock 0c016602 Some Artist / Some Album").empty());  // no CR LF
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("500 rock 0c016602 A / B\r\n").empty());

    // Lines that do not parse are skipped, the others kept.
    const auto mixed = parse(
        "211 x\r\n nolead 12345678 A\r\nnoblank\r\nrock 123456789 Nine\r\n"
        "rock zz Bad\r\nmisc 12ab34cd No Separator Here\r\n.\r\n");
    ASSERT_EQ(mixed.size(), 1u);
    EXPECT_EQ(mixed[0],
              (CddbMatch{"misc", "12ab34cd", 0, "No Separator Here", "No Separator Here"}));

    // A bare LF ends a line too: nothing after it reaches a title, where it would become a line
    // of its own in a submission.
    const auto injected = parse("200 rock 0c016602 Evil\nTTITLE0=Injected / X\r\n");
    ASSERT_EQ(injected.size(), 1u);
    EXPECT_EQ(injected[0], (CddbMatch{"rock", "0c016602", 1, "Evil", "Evil"}));
    const auto listed = parse("211 x\nrock 12345678 A\nB / C\r\nmisc 12345678 D / E\n.\nx 1 F\n");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].title, "A");
    EXPECT_EQ(listed[1], (CddbMatch{"misc", "12345678", 0, "D", "E"}));

    // A line is kept to 79 characters, a category to 11.
    const auto cut = parse("200 verylongcategory 0c016602 " + std::string(100, 'x') + "\r\n");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].category, "verylongcat");
    EXPECT_EQ(cut[0].artist, std::string(49, 'x'));
}

TEST(QueryReply, TakesUtf8RepliesAsTheyAreAndConvertsLatin1) {
    const auto latin1 = parseQueryReply(
        "200 rock 0c016602 Siivill\xe4 / Ann\xe9"
        "es\r\n",
        32);
    ASSERT_EQ(latin1.size(), 1u);
    EXPECT_EQ(latin1[0].artist, "Siivill\xc3\xa4");
    EXPECT_EQ(latin1[0].title,
              "Ann\xc3\xa9"
              "es");
    const auto utf8 = parseQueryReply(
        "200 rock 0c016602 Siivill\xc3\xa4 / Ann\xc3\xa9"
        "es\r\n",
        32);
    ASSERT_EQ(utf8.size(), 1u);
    EXPECT_EQ(utf8[0].artist, "Siivill\xc3\xa4");
    // A UTF-8 character cut by the line limit is dropped, not turned into garbage.
    const auto cut =
        parseQueryReply("200 rock 0c016602 " + std::string(59, 'a') + "\xc3\xa4" + "\r\n", 32);
    EXPECT_EQ(cut[0].artist, std::string(59, 'a') + "\xc3\xa4");
    const auto split = parseQueryReply("200 rock 0c016602 " + std::string(59, 'a') +
                                           "\xc3\xa4\xc3\xa4"
                                           "\r\n",
                                       32);
    EXPECT_EQ(split[0].artist, std::string(59, 'a') + "\xc3\xa4");
}

TEST(ReadReply, CutsTheStatusLineAndTheClosingDot) {
    const std::string entry = "# xmcd\r\nDTITLE=A / B\r\n";
    EXPECT_EQ(entryFromReadReply("HTTP/1.0 200 OK\r\n\r\n210 rock 0c016602 CD database entry "
                                 "follows\r\n" +
                                     entry + ".\r\n",
                                 32000),
              entry);
    EXPECT_EQ(entryFromReadReply("210 rock x\n" + entry + ".", 32000), entry);
    EXPECT_FALSE(entryFromReadReply("401 rock 0c016602 No such CD entry\r\n", 32000));
    EXPECT_FALSE(entryFromReadReply("210 no line end", 32000));
    EXPECT_FALSE(entryFromReadReply("210 x\r\n" + std::string(100, 'e'), 100));
    // Without its closing "." line the entry was cut short: a failed read, not a shorter entry.
    EXPECT_FALSE(entryFromReadReply("210 x\r\n" + entry, 32000));
    EXPECT_FALSE(entryFromReadReply("210 x\r\nTTITLE0=Mr.", 32000));
    EXPECT_FALSE(entryFromReadReply("210 x\r\nTTITLE0=Mr.\r\n", 32000));
    EXPECT_EQ(entryFromReadReply("210 x\n" + entry + ".\n", 32000), entry);
    EXPECT_EQ(entryFromReadReply("210 x\r\n.\r\n", 32000), "");
    EXPECT_EQ(entryFromReadReply("210 x\r\nTTITLE0=Siivill\xe4\r\n.\r\n", 32000),
              "TTITLE0=Siivill\xc3\xa4\r\n");
}

TEST_F(CddbClientTest, ProtocolLevelIsRaisedOnlyAfterTheServerAcceptsIt) {
    CddbFixtures fixtures;
    fixtures.setLscatBody("500 Unrecognized command.\r\n");
    CddbTestServer server(std::ref(fixtures));
    pointAt(server);

    setCddbOption(kOptProtocolLevel, std::nullopt, 5);
    EXPECT_EQ(getCddbOption(kOptProtocolLevel), 4);
    setCddbOption(kOptProtocolLevel, std::nullopt, 5);  // tried again
    EXPECT_EQ(server.requests().size(), 2u);

    fixtures.setLscatBody(CddbFixtures::crlf(CddbFixtures::testdata("replies/lscat-210.txt")));
    CddbTestServer accepting(std::ref(fixtures));
    pointAt(accepting);
    setCddbOption(kOptProtocolLevel, std::nullopt, 5);
    EXPECT_EQ(getCddbOption(kOptProtocolLevel), 5);
    setCddbOption(kOptProtocolLevel, std::nullopt, 3);  // lower levels need no check
    setCddbOption(kOptProtocolLevel, std::nullopt, 5);
    setCddbOption(kOptProtocolLevel, std::nullopt, 0);  // ignored
    EXPECT_EQ(getCddbOption(kOptProtocolLevel), 5);
    EXPECT_EQ(accepting.requests().size(), 1u);
}

// Below level 6 the entry goes out as ISO-8859-1, and one that ISO-8859-1 cannot hold does not go
// out at all; at level 6 it goes out as UTF-8 and says so.
TEST_F(CddbClientTest, SubmitSendsItsHeaderLinesAndTheTextItsLevelCanCarry) {
    CddbFixtures fixtures;
    CddbTestServer server(std::ref(fixtures));
    pointAt(server);
    setCddbOption(kOptSubmitScript, "/~cddb/submit.cgi", 0);

    const std::string latin = "# xmcd\r\nDTITLE=Siivill\xc3\xa4 / B\r\n";
    EXPECT_EQ(cddbSubmit(kExampleDiscId, false, "me@example.org", "rock", latin), kCddbOk);
    const auto request = server.requests().at(0);
    EXPECT_EQ(request.target, "/~cddb/submit.cgi");
    EXPECT_NE(request.raw.find("\r\nCategory: rock\r\nDiscid: 0c016602\r\n"
                               "User-Email: me@example.org\r\nSubmit-Mode: submit\r\n"
                               "Content-Length: "),
              std::string::npos)
        << request.raw;
    EXPECT_EQ(request.body, "# xmcd\r\nDTITLE=Siivill\xe4 / B\r\n\r\n");

    const std::string japanese = "# xmcd\r\nDTITLE=\xe6\x97\xa5\xe6\x9c\xac caf\xc3\xa9 / B\r\n";
    EXPECT_EQ(cddbSubmit(kExampleDiscId, false, "me@example.org", "rock", japanese), kCddbFailed);
    EXPECT_EQ(server.requests().size(), 1u) << "nothing with question marks went out";

    setHighestVerifiedLevel(6);
    setCddbOption(kOptProtocolLevel, std::nullopt, 6);
    EXPECT_EQ(cddbSubmit(kExampleDiscId, false, "me@example.org", "rock", japanese), kCddbOk);
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].body, japanese + "\r\n");
    EXPECT_NE(server.requests()[1].raw.find("Submit-Mode: submit\r\nCharset: UTF-8\r\n"
                                            "Content-Length: "),
              std::string::npos);

    fixtures.setSubmitBody("500 Missing required header information.\r\n");
    EXPECT_EQ(cddbSubmit(kExampleDiscId, true, "me@example.org", "rock", latin), kCddbFailed);
    EXPECT_EQ(server.requests().at(2).header("Submit-Mode"), "test");
}

// Servers that misbehave: the client keeps within its buffers, ends on time and reports the
// failure through the reply text only.
TEST_F(CddbClientTest, HostileServersNeverOverflowOrHang) {
    std::string reply;
    CddbTestServer server([&](const HttpRequest&) { return reply; });
    pointAt(server);
    std::vector<CddbMatch> matches;

    // A 3,000-byte reply to the 2,048-byte query buffer is cut where less than 128 bytes of room
    // would remain.
    reply = "200 rock 0c016602 A / B\r\n" + std::string(3000, 'z');
    const std::string kept = cddbPost("/~cddb/cddb.cgi", "cmd=x", std::nullopt, kQueryReplySize);
    EXPECT_LE(kept.size(), kQueryReplySize - 1);
    EXPECT_GT(kept.size(), kQueryReplySize - 1 - 128);
    EXPECT_EQ(kept, reply.substr(0, kept.size()));
    EXPECT_EQ(cddbQuery(kExampleDiscId, kExampleOffsets, 360, matches), kCddbOk);
    EXPECT_EQ(matches.size(), 1u);

    // Binary garbage with NUL bytes: the text ends at the first NUL.
    reply = std::string("200 rock\0 0c016602 A / B\r\n", 26) + "\xff\xfe";
    EXPECT_EQ(cddbPost("/x", "", std::nullopt, 2048), "200 rock");
    EXPECT_EQ(cddbPost("/x", "", std::nullopt, 128), "");  // no room for one chunk
    EXPECT_EQ(cddbQuery(kExampleDiscId, kExampleOffsets, 360, matches), kCddbOk);
    EXPECT_TRUE(matches.empty());

    // Lines far over the limits and replies cut short.
    reply = "211 x\r\n" + std::string(5000, 'c') + " 0c016602 " + std::string(5000, 't') + "\r\n";
    cddbQuery(kExampleDiscId, kExampleOffsets, 360, matches);
    EXPECT_TRUE(matches.empty());
    // An entry cut short by the server, or by the buffer, is a failed read.
    reply = "210 rock 0c016602 CD database entry follows\r\n# xmcd\r\n# Track fr";
    std::string entry = "left alone";
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbFailed);
    EXPECT_EQ(entry, "left alone");
    reply = "210 rock 0c016602 CD database entry follows\r\n# xmcd\r\n" + std::string(40000, 'x') +
            "\r\n.\r\n";
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbFailed);
    reply = "210 rock 0c016602 CD database entry follows\r\n# xmcd\r\n.\r\n";
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbOk);
    EXPECT_EQ(entry, "# xmcd\r\n");
    reply = "21";
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbFailed);
    EXPECT_EQ(cddbSubmit(kExampleDiscId, false, "e", "rock", "x"), kCddbFailed);

    // A server that accepts and never answers ends each request after the idle time.
    setCddbTimeouts({std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
    server.setMode(CddbTestServer::Mode::NeverAnswer);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(cddbQuery(kExampleDiscId, kExampleOffsets, 360, matches), kCddbOk);
    EXPECT_TRUE(matches.empty());
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// A server that drips its reply a byte at a time, each byte well within the idle time, is cut off
// at the request's deadline, and what came so far is no reply.
TEST_F(CddbClientTest, ADrippingReplyEndsAtTheRequestDeadline) {
    CddbTestServer server(
        [](const HttpRequest&) { return std::string("210 rock 0c016602\r\n# xmcd\r\n.\r\n"); });
    pointAt(server);
    server.dripReplies(std::chrono::milliseconds(20));
    std::string entry = "left alone";
    setCddbTimeouts({std::chrono::seconds(5), std::chrono::seconds(5), std::chrono::seconds(10)});
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbOk);
    EXPECT_EQ(entry, "# xmcd\r\n") << "the whole reply arrives before a long deadline";

    setCddbTimeouts(
        {std::chrono::seconds(5), std::chrono::seconds(5), std::chrono::milliseconds(300)});
    EXPECT_EQ(cddbPost("/~cddb/cddb.cgi", "cmd=x", std::nullopt, kReadReplySize), "");
    entry = "left alone";
    EXPECT_EQ(cddbRead(CddbMatch{"rock", "0c016602", 1, "A", "B"}, entry), kCddbFailed);
    EXPECT_EQ(entry, "left alone");
}

TEST_F(CddbClientTest, UnreachableServersGiveEmptyReplies) {
    setCddbOption(kOptServerHost, "host.invalid", 0);
    EXPECT_EQ(cddbPost("/x", "cmd", std::nullopt, 2048), "");
    // A closed port on loopback: find one by opening and closing a server.
    int port = 0;
    {
        CddbTestServer server([](const HttpRequest&) { return std::string(); });
        port = server.port();
    }
    setCddbOption(kOptServerHost, "127.0.0.1", 0);
    setCddbOption(kOptServerPort, std::nullopt, port);
    EXPECT_EQ(cddbPost("/x", "cmd", std::nullopt, 2048), "");
    EXPECT_EQ(cddbListCategories(5), 0);
}

}  // namespace
}  // namespace tonalda::cddb
