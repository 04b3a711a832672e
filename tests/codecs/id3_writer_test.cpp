// The ID3 writer, checked with an independent reader (mutagen) on MP3 files made by ffmpeg.

#include "codecs/id3_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "codecs/genres.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string runCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[4096];
    while (const std::size_t read = fread(buffer, 1, sizeof buffer, pipe.get()))
        output.append(buffer, read);
    return output;
}

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// What mutagen reads from a file: every value under "v2:<frame>", "v2enc:<frame>",
// "v1:<frame>", "v2raw", "v2version" and "v1tags", in file order; and what ffprobe, the reader
// of FFmpeg-based players, reads: "ff:<key>".
class ReadTags {
  public:
    explicit ReadTags(const std::filesystem::path& file) {
        readMutagen(file);
        const std::string probed = runCommand(
            "ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " +
            quoted(file));
        std::size_t start = 0;
        while (start < probed.size()) {
            const std::size_t end = probed.find('\n', start);
            const std::string line = probed.substr(start, end - start);
            start = end == std::string::npos ? probed.size() : end + 1;
            if (line.starts_with("TAG:") && line.find('=') != std::string::npos)
                values_["ff:" + line.substr(4, line.find('=') - 4)].push_back(
                    line.substr(line.find('=') + 1));
        }
    }

    std::vector<std::string> operator[](const std::string& key) const {
        const auto found = values_.find(key);
        return found == values_.end() ? std::vector<std::string>{} : found->second;
    }

    // Every text frame mutagen reads from the tag of `version` ("v2" or "v1"), ffprobe reads with
    // the same text.
    void expectFfprobeAgrees(const std::string& version) const {
        static const std::pair<const char*, const char*> kKeys[] = {
            {"TIT2", "title"},     {"TPE1", "artist"},     {"TALB", "album"},
            {"COMM", "comment"},   {"TRCK", "track"},      {"TCOM", "composer"},
            {"TCOP", "copyright"}, {"TENC", "encoded_by"}, {"TOPE", "TOPE"}};
        int compared = 0;
        for (const auto& [frame, key] : kKeys) {
            const auto expected = (*this)[version + ":" + frame];
            if (expected.empty())
                continue;
            EXPECT_EQ((*this)[std::string("ff:") + key], expected) << frame;
            ++compared;
        }
        EXPECT_GT(compared, 0);
        const auto year = (*this)[version + ":TYER"];
        if (!year.empty()) {
            EXPECT_EQ((*this)["ff:date"], year);
        }
    }

  private:
    void readMutagen(const std::filesystem::path& file) {
        const std::string output = runCommand(
            "/usr/bin/python3 " TONALDA_SOURCE_DIR "/tests/codecs/read_id3.py " + quoted(file));
        std::size_t start = 0;
        while (start < output.size()) {
            const std::size_t end = output.find('\n', start);
            const std::string line = output.substr(start, end - start);
            start = end == std::string::npos ? output.size() : end + 1;
            const std::size_t tab1 = line.find('\t');
            const std::size_t tab2 = line.find('\t', tab1 + 1);
            if (tab2 == std::string::npos)
                values_[line.substr(0, tab1)].push_back(line.substr(tab1 + 1));
            else
                values_[line.substr(0, tab1) + ":" + line.substr(tab1 + 1, tab2 - tab1 - 1)]
                    .push_back(line.substr(tab2 + 1));
        }
    }

    std::map<std::string, std::vector<std::string>> values_;
};

class Id3WriterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sourceDir_ = std::make_unique<test::TempDir>();
        // A real MP3 file that already carries an ID3v2 tag and an ID3v1 tag.
        const std::string made = runCommand(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i anullsrc=r=44100:cl=stereo -t 0.3 "
            "-write_id3v1 1 -metadata title=Original -metadata artist=Somebody " +
            quoted(source()) + " 2>&1");
        ASSERT_TRUE(std::filesystem::exists(source())) << made;
    }
    static void TearDownTestSuite() { sourceDir_.reset(); }
    static std::filesystem::path source() { return *sourceDir_ / "source.mp3"; }

    void SetUp() override {
        std::filesystem::copy_file(source(), file_);
        tag_.reset();
    }

    static TagInfo fullTag() {
        TagInfo tag;
        tag.Title1 = "Title one";
        tag.Artist1 = "Artist one";
        tag.Album1 = "Album one";
        tag.Year1 = "1999";
        tag.Genre1 = 32;
        tag.Track1 = "7";
        tag.Comment1 = "Comment one";
        tag.Title2 = "Title two";
        tag.Artist2 = "Artist two";
        tag.Album2 = "Album two";
        tag.Year2 = "2001";
        tag.Genre2 = 8;
        tag.Track2 = "8";
        tag.Comment2 = "Comment two";
        tag.Composer = "Composer";
        tag.OriArtist = "Original artist";
        tag.CopyRight = "Copyright text";
        tag.URL = "http://example.org/track";
        tag.EncodeBy = "Encoder person";
        return tag;
    }

    test::TempDir dir_;
    std::filesystem::path file_ = dir_ / "track.mp3";
    TagInfo tag_;

  private:
    static inline std::unique_ptr<test::TempDir> sourceDir_;
};

TEST_F(Id3WriterTest, NeitherFlagLeavesTheTaggedFileByteForByte) {
    const std::string before = test::readFile(file_);
    ASSERT_FALSE(ReadTags(file_)["v2:TIT2"].empty()) << "the source file should carry tags";
    tag_ = fullTag();
    EXPECT_TRUE(writeId3Tag(tag_, file_));
    EXPECT_EQ(test::readFile(file_), before);
}

TEST_F(Id3WriterTest, OnlyVersion1StripsTheVersion2TagAndWritesVersion1) {
    tag_ = fullTag();
    tag_.isV1 = 1;
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    EXPECT_THAT(tags["v2version"], IsEmpty());
    EXPECT_NE(test::readFile(file_).substr(0, 3), "ID3");
    EXPECT_THAT(tags["v1tags"], ElementsAre("1"));
    EXPECT_THAT(tags["v1:TIT2"], ElementsAre("Title one"));
    EXPECT_THAT(tags["v1:TPE1"], ElementsAre("Artist one"));
    EXPECT_THAT(tags["v1:TALB"], ElementsAre("Album one"));
    EXPECT_THAT(tags["v1:TYER"], ElementsAre("1999"));
    EXPECT_THAT(tags["v1:COMM"], ElementsAre("Comment one"));
    EXPECT_THAT(tags["v1:TRCK"], ElementsAre("7"));
    EXPECT_THAT(tags["v1:TCON"], ElementsAre("32"));
    tags.expectFfprobeAgrees("v1");
    EXPECT_THAT(tags["ff:genre"], ElementsAre("Classical"));
}

TEST_F(Id3WriterTest, Version1TextIsLatin1AndRewritingReplacesTheTag) {
    tag_.isV1 = 1;
    tag_.Title1 = "Caf\u00e9 \u00fcber";  // fits ISO-8859-1
    tag_.Artist1 = "\u65e5\u672c";        // does not: one replacement per character
    ASSERT_TRUE(writeId3Tag(tag_, file_));
    const auto size = std::filesystem::file_size(file_);
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    EXPECT_EQ(std::filesystem::file_size(file_), size);
    const ReadTags tags(file_);
    EXPECT_THAT(tags["v1tags"], ElementsAre("1"));
    EXPECT_THAT(tags["v1:TIT2"], ElementsAre("Caf\u00e9 \u00fcber"));
    EXPECT_THAT(tags["v1:TPE1"], ElementsAre("??"));
}

TEST_F(Id3WriterTest, Version1GenreOutsideTheTableWritesNoGenre) {
    for (const std::int32_t genre : {-1, 148}) {
        std::filesystem::copy_file(source(), file_,
                                   std::filesystem::copy_options::overwrite_existing);
        tag_.isV1 = 1;
        tag_.Title1 = "x";
        tag_.Genre1 = genre;
        ASSERT_TRUE(writeId3Tag(tag_, file_));
        const ReadTags tags(file_);
        EXPECT_THAT(tags["v1:TIT2"], ElementsAre("x")) << genre;
        EXPECT_THAT(tags["v1:TCON"], IsEmpty()) << genre;
        // The genre byte of the version 1 tag stays "none".
        EXPECT_EQ(static_cast<unsigned char>(test::readFile(file_).back()), 0xFF) << genre;
    }
}

TEST_F(Id3WriterTest, BothFlagsGiveExactlyOneOfEachVersion2FrameFromTheVersion2Fields) {
    tag_ = fullTag();
    tag_.isV1 = 1;
    tag_.isV2 = 1;
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    EXPECT_THAT(tags["v2version"], ElementsAre("2.3.0"));
    EXPECT_THAT(tags["v2raw"], ElementsAre("TIT2", "TPE1", "COMM", "TCOM", "TALB", "TRCK", "TYER",
                                           "WXXX", "TOPE", "TCOP", "TENC", "TCON"));
    EXPECT_THAT(tags["v2:TIT2"], ElementsAre("Title two"));
    EXPECT_THAT(tags["v2:TPE1"], ElementsAre("Artist two"));
    EXPECT_THAT(tags["v2:COMM"], ElementsAre("Comment two"));
    EXPECT_THAT(tags["v2:TCOM"], ElementsAre("Composer"));
    EXPECT_THAT(tags["v2:TALB"], ElementsAre("Album two"));
    EXPECT_THAT(tags["v2:TRCK"], ElementsAre("8"));
    EXPECT_THAT(tags["v2:TYER"], ElementsAre("2001"));
    EXPECT_THAT(tags["v2:WXXX"], ElementsAre("http://example.org/track"));
    EXPECT_THAT(tags["v2:TOPE"], ElementsAre("Original artist"));
    EXPECT_THAT(tags["v2:TCOP"], ElementsAre("Copyright text"));
    EXPECT_THAT(tags["v2:TENC"], ElementsAre("Encoder person"));
    EXPECT_THAT(tags["v2:TCON"], ElementsAre("(8)"));
    // The version 1 tag sits at the end of the same file with its own fields.
    EXPECT_THAT(tags["v1:TIT2"], ElementsAre("Title one"));
    EXPECT_THAT(tags["v1:TCON"], ElementsAre("32"));
    // ffmpeg's own frames are gone.
    EXPECT_THAT(tags["v2:TSSE"], IsEmpty());
    tags.expectFfprobeAgrees("v2");
    EXPECT_THAT(tags["ff:genre"], ElementsAre("Jazz"));
}

TEST_F(Id3WriterTest, Version2WritesEmptyTitleAndUnsignedGenre) {
    tag_.isV2 = 1;
    tag_.Genre2 = -1;
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    // mutagen hides empty frames; the raw listing shows the title frame is there.
    EXPECT_THAT(tags["v2raw"], ::testing::Contains("TIT2"));
    EXPECT_THAT(tags["v2:TIT2"], IsEmpty());
    EXPECT_THAT(tags["v2:TCON"], ElementsAre("(4294967295)"));
    EXPECT_THAT(tags["v1tags"], IsEmpty());
    EXPECT_THAT(tags["ff:title"], IsEmpty());
    EXPECT_THAT(tags["ff:genre"], ElementsAre("(4294967295)"));
}

TEST_F(Id3WriterTest, Version2TextBeyondLatin1SurvivesAsUtf16) {
    tag_.isV2 = 1;
    tag_.Title2 = "T\u00e8\u65e5\u672c";
    tag_.Comment2 = "\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F3B5";  // with a surrogate pair
    tag_.Artist2 = "Beyonc\u00e9";
    tag_.URL = "http://example.org/\u65e5";
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    EXPECT_THAT(tags["v2:TIT2"], ElementsAre("T\u00e8\u65e5\u672c"));
    EXPECT_THAT(tags["v2enc:TIT2"], ElementsAre("1"));
    EXPECT_THAT(tags["v2:COMM"], ElementsAre("\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F3B5"));
    EXPECT_THAT(tags["v2enc:COMM"], ElementsAre("1"));
    // Text that fits stays ISO-8859-1.
    EXPECT_THAT(tags["v2:TPE1"], ElementsAre("Beyonc\u00e9"));
    EXPECT_THAT(tags["v2enc:TPE1"], ElementsAre("0"));
    EXPECT_THAT(tags["v2:WXXX"], ElementsAre("http://example.org/%E6%97%A5"));
    // FFmpeg-based players read the same text, every frame of the tag.
    tags.expectFfprobeAgrees("v2");
    EXPECT_THAT(tags["ff:title"], ElementsAre("T\u00e8\u65e5\u672c"));
    EXPECT_THAT(tags["ff:genre"], ElementsAre("Rock"));
}

// A lookup fills only the version 1 fields. Where ISO-8859-1 cannot hold them, a version 2 tag
// of the same fields comes too, which players read instead of the question marks of version 1;
// a record that fits gets no version 2 tag.
TEST_F(Id3WriterTest, Version1TextBeyondLatin1AlsoGoesIntoAVersion2Tag) {
    tag_.isV1 = 1;
    tag_.Title1 = "\u4ea4\u97ff\u66f2 caf\u00e9";
    tag_.Artist1 = "\u5c71\u7530 \u592a\u90ce";
    tag_.Album1 = "\u4ea4\u97ff\u66f2\u96c6";
    tag_.Year1 = "1999";
    tag_.Track1 = "3";
    tag_.Comment1 = "Live";
    tag_.Genre1 = 32;
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    EXPECT_THAT(tags["v1:TPE1"], ElementsAre("?? ??"));
    EXPECT_THAT(tags["v2raw"], ElementsAre("TIT2", "TPE1", "COMM", "TALB", "TRCK", "TYER", "TCON"));
    EXPECT_THAT(tags["v2:TIT2"], ElementsAre(tag_.Title1));
    EXPECT_THAT(tags["v2:TPE1"], ElementsAre(tag_.Artist1));
    EXPECT_THAT(tags["v2:TALB"], ElementsAre(tag_.Album1));
    EXPECT_THAT(tags["v2:COMM"], ElementsAre("Live"));
    EXPECT_THAT(tags["v2:TCON"], ElementsAre("(32)"));
    tags.expectFfprobeAgrees("v2");
    EXPECT_THAT(tags["ff:artist"], ElementsAre(tag_.Artist1));
    EXPECT_THAT(tags["ff:genre"], ElementsAre("Classical"));

    // A genre outside the table is left out, as in version 1.
    tag_.Genre1 = -1;
    ASSERT_TRUE(writeId3Tag(tag_, file_));
    EXPECT_THAT(ReadTags(file_)["v2:TCON"], IsEmpty());

    tag_.Title1 = tag_.Artist1 = tag_.Album1 = "Caf\u00e9";
    ASSERT_TRUE(writeId3Tag(tag_, file_));
    EXPECT_THAT(ReadTags(file_)["v2version"], IsEmpty());
}

// A whole record beyond Latin-1, as a lookup of a Japanese disc gives, with both versions.
TEST_F(Id3WriterTest, Utf16TagsReadTheSameInMutagenAndFfprobe) {
    tag_ = fullTag();
    tag_.isV1 = 1;
    tag_.isV2 = 1;
    tag_.Title2 = "\u4ea4\u97ff\u66f2\u7b2c\u4e00\u756a \u30cf\u9577\u8abf";
    tag_.Artist2 = "\u5c71\u7530 \u592a\u90ce";
    tag_.Album2 = "\u4ea4\u97ff\u66f2\u96c6";
    tag_.Comment2 = "\u00ff\u00fe \u65e5";  // bytes 0xFF next to zero bytes in UTF-16
    tag_.Track2 = "3";
    ASSERT_TRUE(writeId3Tag(tag_, file_));

    const ReadTags tags(file_);
    EXPECT_THAT(tags["v2:TIT2"], ElementsAre(tag_.Title2));
    EXPECT_THAT(tags["v2:TPE1"], ElementsAre(tag_.Artist2));
    EXPECT_THAT(tags["v2:COMM"], ElementsAre(tag_.Comment2));
    EXPECT_THAT(tags["v2:TRCK"], ElementsAre("3"));
    tags.expectFfprobeAgrees("v2");
    EXPECT_THAT(tags["ff:album"], ElementsAre(tag_.Album2));
    EXPECT_THAT(tags["ff:genre"], ElementsAre("Jazz"));

    // Latin-1 text whose byte 0xFF unsynchronisation would change.
    tag_ = fullTag();
    tag_.isV2 = 1;
    tag_.Title2 = "\u00ff\u00e9";
    ASSERT_TRUE(writeId3Tag(tag_, file_));
    const ReadTags latin(file_);
    EXPECT_THAT(latin["v2:TIT2"], ElementsAre("\u00ff\u00e9"));
    latin.expectFfprobeAgrees("v2");
}

TEST_F(Id3WriterTest, FileThatCannotBeWrittenIsReportedAndNotCreated) {
    tag_.isV1 = 1;
    tag_.isV2 = 1;
    const auto missing = dir_ / "missing.mp3";
    EXPECT_FALSE(writeId3Tag(tag_, missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(writeId3Tag(tag_, dir_.path()));
}

TEST(GenreTable, HoldsThePublishedListInOrder) {
    EXPECT_EQ(kGenreCount, 148);
    EXPECT_EQ(genreName(0), "Blues");
    EXPECT_EQ(genreName(12), "Other");
    EXPECT_EQ(genreName(17), "Rock");
    EXPECT_EQ(genreName(79), "Hard Rock");
    EXPECT_EQ(genreName(80), "Folk");
    EXPECT_EQ(genreName(147), "Synthpop");
    EXPECT_EQ(genreName(148), "");
    EXPECT_EQ(genreName(-1), "");
    EXPECT_EQ(genreCategory(1), "classic rock");
    EXPECT_EQ(genreFromCategory("classic rock"), 1);
    EXPECT_EQ(genreFromCategory("newage"), -1);
    EXPECT_EQ(TagInfo{}.Genre1, 17);
}

}  // namespace
}  // namespace tonalda
