// tonalda-cli convert, run as a program on WAV files.

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"
#include "e2e/cli_scratch.h"

namespace tonalda::e2e {
namespace {

using std::chrono_literals::operator""s;

class CliConvert : public ::testing::Test {
  protected:
    CliConvert() : scratch_("none") {
        std::filesystem::create_directory(scratch_.root() / "wavs");
        for (const char* name : {"Song", "Other", "Third"})
            test::writeToneWav(wav(name), 44100);
    }
    std::string wav(const std::string& name) const {
        return (scratch_.root() / "wavs" / (name + ".wav")).string();
    }

    CliScratch scratch_;
};

TEST_F(CliConvert, ThreeFilesIntoEachFormat) {
    for (const std::string format : {"mp3", "wma", "ogg"}) {
        SCOPED_TRACE(format);
        const ProcessResult result =
            scratch_.run({"convert", "--format", format, wav("Song"), wav("Other"), wav("Third")});
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_NE(result.out.find(wav("Other") + ": Encoded\n"), std::string::npos) << result.out;
        const std::string extension = "." + format;
        auto probed = test::probe(scratch_.encodeFolder() / ("Song" + extension));
        EXPECT_EQ(probed["codec_name"],
                  format == "mp3" ? "mp3" : (format == "ogg" ? "vorbis" : "wmav2"));
        EXPECT_NEAR(std::stod(probed["duration"]), 1.0, 0.1);
    }
    EXPECT_EQ(
        filesUnder(scratch_.encodeFolder()),
        (std::vector<std::string>{"Other.mp3", "Other.ogg", "Other.wma", "Song.mp3", "Song.ogg",
                                  "Song.wma", "Third.mp3", "Third.ogg", "Third.wma"}));
}

TEST_F(CliConvert, AFileGivenTwiceIsToldAndConvertedOnce) {
    const auto out = scratch_.root() / "out";
    const ProcessResult result = scratch_.run(
        {"convert", "--format", "ogg", "--out", out.string(), wav("Song"), wav("Song")});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, wav("Song") + "\nhas already been added.\n");
    EXPECT_EQ(filesUnder(out), std::vector<std::string>{"Song.ogg"});
    EXPECT_EQ(scratch_.run({"convert", "--format", "mp3", wav("Missing")}).exitStatus, 1);
}

// Under a file size limit (ulimit -f) the program is not killed: each output that reaches the
// limit is reported with its name and reason, and nothing cut short is left.
TEST_F(CliConvert, AFileSizeLimitIsReportedAndLeavesNoCutFile) {
    test::writeToneWav(wav("Long"), 44100 * 20);
    for (const std::string format : {"mp3", "wma", "ogg"}) {
        SCOPED_TRACE(format);
        const auto output = scratch_.encodeFolder() / ("Long." + format);
        // The shell's limit counts blocks of 512 bytes: 64 KiB, far less than 20 s of audio.
        const ProcessResult result =
            runProcess("/bin/sh",
                       {"-c", "ulimit -f 128 && exec \"$0\" \"$@\"", kCliProgram, "convert",
                        "--format", format, wav("Long")},
                       scratch_.environment());
        EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
        EXPECT_NE(
            result.err.find("Output file write error\n" + output.string() + ": File too large"),
            std::string::npos)
            << result.err;
        EXPECT_NE(result.out.find(wav("Long") + ": Error\n"), std::string::npos) << result.out;
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST_F(CliConvert, CtrlCDuringTheSecondFileLeavesNoSecondOrThirdOutput) {
    // Three minutes of sound take the encoder a few seconds.
    test::writeToneWav(wav("Long"), 44100 * 180);
    CliProcess convert(kCliProgram,
                       {"convert", "--format", "mp3", wav("Song"), wav("Long"), wav("Third")},
                       scratch_.environment());
    ASSERT_TRUE(convert.waitForLine(wav("Long") + ": Encoding", 60s));
    convert.interrupt();
    const ProcessResult result = convert.finish();
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(filesUnder(scratch_.encodeFolder()), std::vector<std::string>{"Song.mp3"});
    EXPECT_NE(result.out.find(wav("Long") + ": Canceled\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(wav("Third") + ": Canceled\n"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace tonalda::e2e
