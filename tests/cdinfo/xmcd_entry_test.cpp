// Parsing xmcd entries: the real entries of the test data and the rule cases.

#include <gtest/gtest.h>

#include <filesystem>

#include "cdinfo/cddb_commands.h"
#include "cdinfo/cddb_test_server.h"
#include "cdinfo/xmcd_entry.h"

namespace tonalda::cddb {
namespace {

using testing::CddbFixtures;

// An entry as the lookup job parses it: the text of a read reply, up to its closing "." line,
// converted to UTF-8, with the strict checks off.
XmcdEntry lookupEntry(const std::string& file) {
    std::string raw = CddbFixtures::testdata("entries/" + file);
    if (!raw.ends_with("\n"))
        raw += "\r\n";
    const auto text = entryFromReadReply(
        "210 misc 00000000 CD database entry follows\r\n" + raw + ".\r\n", kReadReplySize);
    XmcdEntry entry(text.value_or(""));
    entry.setOption(kXmcdOptionStrictCheck, false);
    return entry;
}

struct RealEntry {
    std::string file;
    int tracks;
    std::string artist;
    std::string album;
    int sampleTrack;
    std::string sampleTitle;
};

TEST(XmcdRealEntries, EveryEntryParsesWithTheRightTextsInUtf8) {
    const std::vector<RealEntry> expected = {
        {"misc-12345678.txt", 13, "DiscArtist", "DiscTitle", 2, "TrackArtist3 cntd. / TrackTitle3"},
        {"misc-2f0d8939.txt", 57, "Dan Levenson",
         "Old Time Festival Tunes For Clawhammer Banjo (Disc 2)", 56, "Yellow Rose of Texas"},
        {"unknown-0a0dd914.txt", 20, "Various",
         "Ann\xc3\xa9"
         "es 60 CD1",
         1, "HERMAN HERMITS / No Milk Today"},
        {"unknown-0a0f5811.txt", 17, "Maria Venuti",
         "Maria Venuti Sings Schubert, Schoenberg, Schumann", 0,
         "Der Hirt Auf Dem Flesen Op. 129 (Studio)"},
        {"unknown-12025d03.txt", 3, "Ernest Ray Everett - Single CD",
         "Ernest Ray Everett - Single CD", 0, "I'm Your Puppet"},
        {"unknown-1c11c714.txt", 20, "Various", "Jazz Manouche CD 1", 19,
         "Le Quintette Du Hot Club De France, Django Reinhardt: Manoir De Mes R\xc3\xaaves"},
        {"unknown-2b055c04.txt", 4, "Tuhonvarjo", "Syvyyden Syli", 2, "Joutsenen Siivill\xc3\xa4"},
        {"unknown-38043805.txt", 5, "Die \xc3\x84rzte", "Ein Schwein namens M\xc3\xa4nner", 0,
         "M\xc3\xa4nner sind Schweine (Single Version)"},
        {"unknown-6f0c6509.txt", 9, "Beethoven", "Beethoven Piano Sonatas", 0,
         "Sonata No. 14 in C-sharp Minor, Op. 27, No. 2 Moonlight - I. Adagio sostenuto"},
        {"unknown-7908090a.txt", 10, "Gladys Knight & The Pips", "All The Greatest Hits", 5,
         "Neither One Of Us (Wants To Be The First To Say Goodbye)"},
        {"unknown-a10b600c.txt", 12, "Motorhead", "Inferno", 0, "Terminal Show"},
        {"unknown-af10420e.txt", 14, "Heather Nova", "Wonderlust", 13, "I'm On Fire"},
        {"unknown-ee074b12.txt", 18, "Zbigniew Preisner", "The double life of Veronika/Kieslowski",
         12, "Theme : 2nd transcription"},
        {"unknown-940c700b.txt", 11, "Rammstein+Sixtynine", "(black) Mutter", 0,
         "Mein Herz Brennt (Nun Liebe Kinder Mix)"},
    };
    for (const auto& want : expected) {
        SCOPED_TRACE(want.file);
        XmcdEntry entry = lookupEntry(want.file);
        ASSERT_TRUE(entry.parse());
        EXPECT_EQ(entry.trackCount(), want.tracks);
        EXPECT_EQ(entry.artist(), want.artist);
        EXPECT_EQ(entry.title(), want.album);
        EXPECT_EQ(entry.trackTitle(want.sampleTrack), want.sampleTitle);
    }

    // And every other real entry parses, with a title for each track and valid UTF-8 throughout
    // (the GB18030 one is not Latin-1 either, but it still becomes well-formed text).
    int parsed = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(CddbFixtures::testdata("entries"))) {
        SCOPED_TRACE(file.path().filename().string());
        XmcdEntry entry = lookupEntry(file.path().filename().string());
        ASSERT_TRUE(entry.parse());
        ASSERT_GT(entry.trackCount(), 0);
        for (int track = 0; track < entry.trackCount(); ++track)
            EXPECT_TRUE(entry.trackTitle(track)) << track;
        EXPECT_FALSE(entry.discIds().empty());
        ++parsed;
    }
    EXPECT_EQ(parsed, 27);
}

TEST(XmcdRealEntries, HeaderValuesAndLinkedDiscIds) {
    XmcdEntry linked = lookupEntry("unknown-af10420e.txt");
    ASSERT_TRUE(linked.parse());
    EXPECT_EQ(linked.discIds(), (std::vector<std::uint32_t>{0x2203fd04, 0xaf10420e}));
    EXPECT_EQ(linked.discLength(), 4164);
    EXPECT_EQ(linked.revision(), 2);
    EXPECT_EQ(linked.tracks()[13].frameOffset, 295535);
    EXPECT_EQ(linked.extendedData().substr(0, 24), "Recorded Live In Germany");
    EXPECT_EQ(linked.dyear(), "1998");

    XmcdEntry strict(CddbFixtures::testdata("entries/unknown-ee074b12.txt"));
    EXPECT_TRUE(strict.parse());  // a real entry passes the strict checks too
    EXPECT_EQ(strict.tracks()[0].extendedData, "Opening song");
}

// The small entry of the rule cases: three tracks, 200 seconds, revision 2.
std::string smallEntry(
    const std::string& header = "#\n# Disc length: 200 seconds\n#\n# Revision: 2\n",
    const std::string& data = "") {
    return "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\t5000\n#\t9000\n" + header +
           "DISCID=0c016603\nDTITLE=A / B\n" +
           (data.empty() ? "TTITLE0=One\nTTITLE1=Two\nTTITLE2=Three\n" : data);
}

bool parses(const std::string& text, bool strict = true, bool yearGenre = true) {
    XmcdEntry entry(text);
    entry.setOption(kXmcdOptionStrictCheck, strict);
    entry.setOption(kXmcdOptionYearGenre, yearGenre);
    return entry.parse();
}

TEST(XmcdRules, HeaderAndLineRules) {
    XmcdEntry entry(smallEntry());
    ASSERT_TRUE(entry.parse());
    EXPECT_EQ(entry.trackCount(), 3);
    EXPECT_EQ(entry.discLength(), 200);
    EXPECT_EQ(entry.revision(), 2);
    EXPECT_EQ(entry.artist(), "A");
    EXPECT_EQ(entry.title(), "B");

    EXPECT_FALSE(parses(smallEntry("#\n# Disc length: 200 seconds\n#\n")));  // no revision
    EXPECT_FALSE(parses(smallEntry("#\n# Disc length: 200 seconds\n\n# Revision: 2\n")));
    EXPECT_FALSE(parses(smallEntry() + "\n"));        // empty line at the end
    EXPECT_FALSE(parses(smallEntry() + "# late\n"));  // comment after data
    EXPECT_FALSE(parses(smallEntry() + "UNKNOWN=x\n"));
    EXPECT_FALSE(parses(""));
    EXPECT_FALSE(parses(smallEntry("#\n# Disc length: soon\n# Revision: 2\n")));
    EXPECT_TRUE(parses(smallEntry("#\n# Disc length:\n# Revision: 2\n"), false));
    // CR LF, LF CR and lone CR all end lines.
    std::string crlf = smallEntry(), lfcr = smallEntry(), cr = smallEntry();
    for (auto* text : {&crlf, &lfcr, &cr}) {
        std::string converted;
        for (const char c : *text)
            converted += c != '\n'       ? std::string(1, c)
                         : text == &crlf ? "\r\n"
                         : text == &lfcr ? "\n\r"
                                         : "\r";
        EXPECT_TRUE(parses(converted));
    }
    // A line of 257 characters ends the reading; the lines before it count.
    EXPECT_TRUE(parses(smallEntry() + "TTITLE2=" + std::string(249, 'x') + "\nBROKEN\n"));
    XmcdEntry longLine(smallEntry() + "TTITLE2=" + std::string(248, 'x') + "\n");
    ASSERT_TRUE(longLine.parse());
    EXPECT_EQ(longLine.trackTitle(2), "Three" + std::string(248, 'x'));
    // More than 100 offset lines cannot be held.
    std::string many = "# Track frame offsets:\n";
    for (int i = 0; i < 101; ++i)
        many += "# " + std::to_string(150 + i) + "\n";
    EXPECT_FALSE(parses(many + "# Disc length: 9999\n# Revision: 1\nDTITLE=A\n", false));
}

TEST(XmcdRules, DataLineOrder) {
    const std::string hdr = "#\n# Disc length: 200 seconds\n#\n# Revision: 2\n";
    const auto data = [&](const std::string& lines) {
        return parses(smallEntry(hdr, lines), false);
    };
    XmcdEntry joined(smallEntry(hdr, "TTITLE0=x\nTTITLE1=Part one\nTTITLE1= and two\nTTITLE2=y\n"));
    ASSERT_TRUE(joined.parse());
    EXPECT_EQ(joined.trackTitle(1), "Part one and two");
    EXPECT_FALSE(data("TTITLE0=x\nTTITLE2=skip\n"));
    EXPECT_FALSE(data("TTITLE0=\n"));  // empty value
    EXPECT_FALSE(data("TTITLE3=no such track\n"));
    EXPECT_FALSE(data("TTITLE100=x\n"));
    EXPECT_FALSE(data("TTITLE0 no equals\n"));
    EXPECT_TRUE(data("DYEAR=1999\nDGENRE=Rock\nTTITLE0=x\n"));
    EXPECT_FALSE(data("TTITLE0=x\nDYEAR=1999\n"));
    EXPECT_FALSE(parses(smallEntry(hdr, "DYEAR=1999\nTTITLE0=x\n"), false, false));
    EXPECT_FALSE(data("DGENRE=Rock\n"));
    EXPECT_FALSE(data("TTITLE0=x\nDTITLE=again\n"));
    EXPECT_TRUE(data("TTITLE0=x\nEXTD=a\nEXTD=b\nEXTT0=e\nEXTT0=f\nEXTT1=\nPLAYORDER=3,2\n"));
    EXPECT_FALSE(data("EXTD=not after a title\n"));
    EXPECT_FALSE(data("TTITLE0=x\nEXTT0=not after EXTD\n"));
    EXPECT_FALSE(data("TTITLE0=x\nEXTD=\nEXTT0=\nEXTT2=gap\n"));
    EXPECT_FALSE(
        parses("# Track frame offsets:\n# 150\n# Disc length: 9\n# Revision: 1\n"
               "DISCID=0\n",
               false));
    XmcdEntry ids(
        "# Track frame offsets:\n# 150\n# Disc length: 9\n# Revision: 1\n"
        "DISCID=0c016602,0d016603\n");
    ids.setOption(kXmcdOptionStrictCheck, false);
    ASSERT_TRUE(ids.parse());
    EXPECT_EQ(ids.discIds(), (std::vector<std::uint32_t>{0x0c016602, 0x0d016603}));
}

TEST(XmcdRules, StrictChecksAtTheEnd) {
    const std::string longDisc =
        "#\n# Disc length: 100 seconds\n#\n# Revision: 2\n";  // 7500 frames
    EXPECT_FALSE(parses(smallEntry(longDisc)));
    EXPECT_TRUE(parses(smallEntry(longDisc), false));
    // Both sides of the limit: the last track (at frame 9000) must start before the disc ends.
    EXPECT_FALSE(parses(smallEntry("#\n# Disc length: 120 seconds\n#\n# Revision: 2\n")));
    EXPECT_TRUE(parses(smallEntry("#\n# Disc length: 121 seconds\n#\n# Revision: 2\n")));
    const std::string hdr = "#\n# Disc length: 200 seconds\n#\n# Revision: 2\n";
    EXPECT_FALSE(parses(smallEntry(hdr, "TTITLE0=x\nTTITLE1=y\n")));  // track 2 has no title
    XmcdEntry missing(smallEntry(hdr, "TTITLE0=x\nTTITLE1=y\n"));
    missing.setOption(kXmcdOptionStrictCheck, false);
    ASSERT_TRUE(missing.parse());
    EXPECT_FALSE(missing.trackTitle(2));
    EXPECT_FALSE(missing.trackTitle(-1));
    EXPECT_FALSE(missing.trackTitle(99));
}

}  // namespace
}  // namespace tonalda::cddb
