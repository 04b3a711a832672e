#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ini_document.h"
#include "support/temp_dir.h"

namespace tonalda::profile {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(Profile, MissingValuesReadAsTheirDefaults) {
    TempDir dir;
    const auto file = dir / "disc.cdb";
    EXPECT_EQ(readString(file, "CDINFO", "artist", " "), "");  // the customary one-blank default
    EXPECT_EQ(readString(file, "CDINFO", "artist", "x  "), "x");
    EXPECT_EQ(readInt(file, "CDINFO", "genre", -1), -1);
    EXPECT_FALSE(std::filesystem::exists(file));  // reading creates nothing

    writeFile(file, "[CDINFO]\nnum=3\n[Genre1]\n1=\n");
    EXPECT_EQ(readString(file, "CDINFO", "artist", " "), "");
    EXPECT_EQ(readString(file, "Other", "num", "d"), "d");
    EXPECT_EQ(readInt(file, "Genre1", "2", 17), 17);
    EXPECT_EQ(readInt(file, "Genre1", "1", 17), 0);  // present but empty
}

TEST(Profile, NumbersReadTheirLeadingDigits) {
    TempDir dir;
    const auto file = dir / "n.ini";
    writeFile(file,
              "[N]\na=42\nb= -7 \nc=+5x\nd=12abc\ne=abc\nf=99999999999\ng=-99999999999\nh=-\n");
    EXPECT_EQ(readInt(file, "N", "a", 1), 42);
    EXPECT_EQ(readInt(file, "N", "b", 1), -7);
    EXPECT_EQ(readInt(file, "N", "c", 1), 5);
    EXPECT_EQ(readInt(file, "N", "d", 1), 12);
    EXPECT_EQ(readInt(file, "N", "e", 1), 0);
    EXPECT_EQ(readInt(file, "N", "f", 1), INT_MAX);
    EXPECT_EQ(readInt(file, "N", "g", 1), INT_MIN);
    EXPECT_EQ(readInt(file, "N", "h", 1), 0);
}

TEST(Profile, NamesIgnoreCaseAndBlanks) {
    TempDir dir;
    const auto file = dir / "lib.cdb";
    writeFile(file, "[CdInfo]\n  Artist = Some One  \n[TITLE1]\n1=First\n");
    EXPECT_EQ(readString(file, "cdinfo", "ARTIST", ""), "Some One");
    EXPECT_EQ(readString(file, "Title1", "1", ""), "First");

    ASSERT_TRUE(writeString(file, "CDINFO", "artist", "Other"));
    ASSERT_TRUE(writeString(file, "title1", "1", "Changed"));
    EXPECT_EQ(readFile(file), "[CdInfo]\nArtist=Other\n[TITLE1]\n1=Changed\n");
}

TEST(Profile, AWriteKeepsEveryOtherLine) {
    TempDir dir;
    const auto file = dir / "cdplayer.ini";
    const std::string original =
        "; written by hand\r\n"
        "[A1B2C3]\r\n"
        "EntryType=1\r\n"
        "odd line without equals\r\n"
        "artist=Old\r\n"
        "\r\n"
        "[Other]\r\n"
        "0=keep me\r\n";
    writeFile(file, original);

    ASSERT_TRUE(writeString(file, "a1b2c3", "artist", "New"));
    ASSERT_TRUE(writeString(file, "A1B2C3", "numtracks", "2"));  // a new key ends its section
    ASSERT_TRUE(writeString(file, "Third", "0", "x"));           // a new section ends the file
    EXPECT_EQ(readFile(file),
              "; written by hand\r\n"
              "[A1B2C3]\r\n"
              "EntryType=1\r\n"
              "odd line without equals\r\n"
              "artist=New\r\n"
              "numtracks=2\r\n"
              "\r\n"
              "[Other]\r\n"
              "0=keep me\r\n"
              "\r\n"
              "[Third]\r\n"
              "0=x\r\n");
}

TEST(Profile, WritesCreateTheFileButNotItsFolder) {
    TempDir dir;
    const auto file = dir / "new.cdb";
    ASSERT_TRUE(writeString(file, "CDINFO", "num", "12"));
    EXPECT_EQ(readFile(file), "[CDINFO]\nnum=12\n");
    EXPECT_EQ(readInt(file, "CDINFO", "num", 0), 12);

    // A file without a final line break gets one before the new line.
    writeFile(file, "[CDINFO]\nnum=12");
    ASSERT_TRUE(writeString(file, "CDINFO", "artist", "A"));
    EXPECT_EQ(readFile(file), "[CDINFO]\nnum=12\nartist=A\n");

    EXPECT_FALSE(writeString(dir / "missing" / "x.cdb", "CDINFO", "num", "1"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(Profile, ValuesCannotAddLinesAndBadNamesAreRefused) {
    TempDir dir;
    const auto file = dir / "t.ini";
    ASSERT_TRUE(writeString(file, "S", "Title", "a\n[Evil]\r\nx=1"));
    EXPECT_EQ(readString(file, "S", "Title", ""), "a [Evil]  x=1");
    EXPECT_EQ(readString(file, "Evil", "x", "none"), "none");

    const std::string before = readFile(file);
    EXPECT_FALSE(writeString(file, "S]", "k", "v"));
    EXPECT_FALSE(writeString(file, "S", "k=1", "v"));
    EXPECT_FALSE(writeString(file, "S", "k\n", "v"));
    EXPECT_FALSE(writeString(file, "", "k", "v"));
    EXPECT_FALSE(writeString(file, "S", "", "v"));
    EXPECT_EQ(readFile(file), before);
}

TEST(Profile, ABareNameLivesInTheConfigFolder) {
    TempDir dir;
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    EXPECT_EQ(configFolder(), dir / "config" / "tonalda");
    ASSERT_TRUE(writeString("cdplayer.ini", "ABC", "EntryType", "1"));
    EXPECT_EQ(readFile(dir / "config" / "tonalda" / "cdplayer.ini"), "[ABC]\nEntryType=1\n");
    EXPECT_EQ(readString("cdplayer.ini", "abc", "entrytype", ""), "1");
    if (saved)
        setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(Profile, ConcurrentWritersKeepEachOthersEntries) {
    TempDir dir;
    const auto file = dir / "shared.cdb";
    constexpr int kEntries = 30;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        if (children[c] == 0) {
            bool ok = true;
            for (int i = 0; i < kEntries; ++i)
                ok = writeString(file, c ? "Title1" : "Title2", std::to_string(i), "t") && ok;
            _exit(ok ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < kEntries; ++i) {
        EXPECT_EQ(readString(file, "Title1", std::to_string(i), "lost"), "t");
        EXPECT_EQ(readString(file, "Title2", std::to_string(i), "lost"), "t");
    }
}

TEST(IniDocument, UnchangedTextComesBackByteForByte) {
    const std::string text = "\xEF\xBB\xBF[a]\r\nk=v\n;c\r\n\n  x  \n[b";
    EXPECT_EQ(IniDocument::parse(text).text(), text);
    IniDocument document = IniDocument::parse(text);
    ASSERT_TRUE(document.set("A", "k", "w"));
    EXPECT_EQ(document.text(), "\xEF\xBB\xBF[a]\r\nk=w\n;c\r\n\n  x  \n[b");
    EXPECT_EQ(document.find("a", "K"), "w");
}

// Found by the fuzzer: a file cut short after the CR of its last CR LF read that CR as part of the
// last value, and adding an entry behind it completed the line ending and changed that value.
TEST(IniDocument, LastLineCutAfterItsCarriageReturn) {
    const std::string text = "[a]\r\nk=v\r";
    IniDocument document = IniDocument::parse(text);
    EXPECT_EQ(document.text(), text);
    EXPECT_EQ(document.find("a", "k"), "v");
    ASSERT_TRUE(document.set("b", "n", "1"));
    EXPECT_EQ(document.text(), "[a]\r\nk=v\r\n\r\n[b]\r\nn=1\r\n");
    EXPECT_EQ(IniDocument::parse(document.text()).find("a", "k"), "v");
}

}  // namespace
}  // namespace tonalda::profile
