// tonalda-cli rip, run as a program against generated discs in the virtual drive.

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"
#include "e2e/cli_scratch.h"

namespace tonalda::e2e {
namespace {

using std::chrono_literals::operator""s;

// Two short tracks.
const std::string kShortDisc = "gen:seed 11/track audio 0:02/track audio 0:01:40";

// The installer's defaults: file names <Artist-Title>, sub-folders <Artist>\<Album>. The fresh rows
// have no artist and album, so the names are the titles alone and no sub-folder is made.
std::vector<std::string> ripNames(const std::string& extension) {
    return {"Track 01" + extension, "Track 02" + extension};
}

std::map<std::string, std::string> id3Frames(const std::filesystem::path& file) {
    const auto result = test::runCommand(
        "/usr/bin/python3 " TONALDA_SOURCE_DIR "/tests/codecs/read_id3.py " + test::quoted(file));
    std::map<std::string, std::string> frames;
    std::size_t start = 0;
    while (start < result.output.size()) {
        const auto end = result.output.find('\n', start);
        const std::string line = result.output.substr(start, end - start);
        const auto first = line.find('\t');
        const auto second = line.find('\t', first + 1);
        if (second != std::string::npos)
            frames[line.substr(0, second)] = line.substr(second + 1);
        start = end == std::string::npos ? result.output.size() : end + 1;
    }
    return frames;
}

// The frames the drive serves for each track, as tonalda-mkdisc writes them.
std::filesystem::path discWavs(const CliScratch& scratch, const std::string& disc) {
    const auto folder = scratch.root() / "reference";
    const ProcessResult made =
        runProcess(kMkdiscProgram, {"--wav-only", disc, folder.string()}, {});
    EXPECT_EQ(made.exitStatus, 0) << made.err;
    return folder;
}

TEST(CliRip, EveryFormatWithTheDefaultSettings) {
    CliScratch scratch(kShortDisc + ",noaudio");
    const auto reference = discWavs(scratch, kShortDisc);
    for (const std::string format : {"wav", "mp3", "ogg", "wma"}) {
        SCOPED_TRACE(format);
        // MP3 is the installer's format; the others come by the flag.
        const ProcessResult result =
            format == "mp3" ? scratch.run({"rip"}) : scratch.run({"rip", "--format", format});
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        const std::string finalStatus = format == "wav" ? "Extracted" : "Encoded";
        EXPECT_NE(result.out.find("Track 1 \"Track 01\": " + finalStatus + "\n"), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("Track 2 \"Track 02\": " + finalStatus + "\n"),
                  std::string::npos);
        EXPECT_EQ(result.err, "");

        const std::string extension = "." + format;
        EXPECT_EQ(filesUnder(scratch.ripFolder()), ripNames(extension));
        EXPECT_TRUE(filesUnder(scratch.tempFolder()).empty());
        const auto first = scratch.ripFolder() / ("Track 01" + extension);
        if (format == "wav") {
            EXPECT_EQ(test::readFile(first), test::readFile(reference / "track01.wav"));
            EXPECT_EQ(test::readFile(scratch.ripFolder() / "Track 02.wav"),
                      test::readFile(reference / "track02.wav"));
        } else if (format == "mp3") {
            auto frames = id3Frames(first);
            EXPECT_EQ(frames["v1\tTIT2"], "Track 01");
            EXPECT_EQ(frames["v1\tTRCK"], "1");
            EXPECT_EQ(test::probe(first)["codec_name"], "mp3");
        } else if (format == "ogg") {
            EXPECT_EQ(test::probe(first)["codec_name"], "vorbis");
            const auto comments = test::runCommand("vorbiscomment -l " + test::quoted(first));
            EXPECT_NE(comments.output.find("TITLE=Track 01\n"), std::string::npos)
                << comments.output;
        } else {
            auto probed = test::probe(first);
            EXPECT_EQ(probed["codec_name"], "wmav2");
            EXPECT_EQ(probed["TAG:title"], "Track 01");
        }
        for (const auto& file : filesUnder(scratch.ripFolder()))
            std::filesystem::remove(scratch.ripFolder() / file);
    }
}

TEST(CliRip, FlagsChooseTracksAndFolderForThisRunOnly) {
    CliScratch scratch("gen:track audio 0:01/track audio 0:01/track audio 0:01,noaudio");
    const std::string hiveBefore = test::readFile(scratch.hive());
    const auto out = scratch.root() / "elsewhere";
    std::filesystem::create_directory(out);
    const ProcessResult result =
        scratch.run({"rip", "--tracks", "1,3", "--format", "wav", "--out", out.string()});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(filesUnder(out), (std::vector<std::string>{"Track 01.wav", "Track 03.wav"}));
    EXPECT_TRUE(filesUnder(scratch.ripFolder()).empty());
    EXPECT_EQ(test::readFile(scratch.hive()), hiveBefore);

    // Without --tracks every audio track is ripped; a data track holds no audio.
    CliScratch enhanced("gen:track audio 0:01/track data 0:01,noaudio");
    const ProcessResult all = enhanced.run({"rip", "--format", "wav"});
    EXPECT_EQ(all.exitStatus, 0) << all.err;
    EXPECT_EQ(filesUnder(enhanced.ripFolder()), std::vector<std::string>{"Track 01.wav"});

    const ProcessResult missing = scratch.run({"rip", "--tracks", "4"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err, "The disc has no track 4 (tracks 1 to 3).\n");
}

TEST(CliRip, CtrlCDuringTheThirdTrackKeepsTheFirstTwoAndRemovesTheRest) {
    // The drive reads at twice real time, so track 3 takes three seconds to extract.
    CliScratch scratch(
        "gen:track audio 0:01/track audio 0:01/track audio 0:06/track audio 0:01/"
        "track audio 0:01,speed=2,noaudio");
    CliProcess rip(kCliProgram, {"rip"}, scratch.environment());
    ASSERT_TRUE(rip.waitForLine("Track 3 \"Track 03\": Extracting", 60s));
    rip.interrupt();
    const ProcessResult result = rip.finish();
    EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
    EXPECT_EQ(filesUnder(scratch.ripFolder()),
              (std::vector<std::string>{"Track 01.mp3", "Track 02.mp3"}));
    EXPECT_TRUE(filesUnder(scratch.tempFolder()).empty());
    for (const char* line : {"Track 1 \"Track 01\": Encoded\n", "Track 2 \"Track 02\": Encoded\n",
                             "Track 3 \"Track 03\": Canceled\n", "Track 4 \"Track 04\": Canceled\n",
                             "Track 5 \"Track 05\": Canceled\n"})
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
}

// The decoded audio of an Ogg Vorbis file.
std::string oggAudio(const std::filesystem::path& file) {
    return test::runCommand("oggdec -Q -R -o - " + test::quoted(file), false).output;
}

TEST(CliRip, TwoProgramsRippingTwoUntitledDiscsThroughOneTemporaryFolderKeepTheirOwnAudio) {
    // The drives read at four times real time, so the two rips overlap for seconds. Both discs
    // are untitled: their tracks compose the same names.
    const std::string discs[] = {"gen:seed 101/track audio 0:04/track audio 0:03,speed=4,noaudio",
                                 "gen:seed 202/track audio 0:04/track audio 0:03,speed=4,noaudio"};
    std::vector<std::unique_ptr<CliScratch>> scratches;
    const auto shared = std::filesystem::temp_directory_path() /
                        ("tonalda-shared-temp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(shared);
    for (const std::string& disc : discs) {
        scratches.push_back(std::make_unique<CliScratch>(disc));
        scratches.back()->setString("Misc", "Temppath", shared.string());
    }
    const std::vector<std::string> rip = {"rip", "--format", "ogg"};

    // Each alone first: the audio each disc's files must hold.
    std::vector<std::vector<std::string>> alone;
    for (const auto& scratch : scratches) {
        const ProcessResult result = scratch->run(rip);
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        alone.push_back({oggAudio(scratch->ripFolder() / "Track 01.ogg"),
                         oggAudio(scratch->ripFolder() / "Track 02.ogg")});
        std::filesystem::remove_all(scratch->ripFolder());
    }
    ASSERT_NE(alone[0][0], alone[1][0]) << "the discs differ";

    // Then both at once.
    CliProcess first(kCliProgram, rip, scratches[0]->environment());
    CliProcess second(kCliProgram, rip, scratches[1]->environment());
    const ProcessResult results[] = {first.finish(), second.finish()};
    for (std::size_t disc = 0; disc < 2; ++disc) {
        SCOPED_TRACE("disc " + std::to_string(disc + 1));
        EXPECT_EQ(results[disc].exitStatus, 0) << results[disc].err;
        const auto folder = scratches[disc]->ripFolder();
        EXPECT_EQ(filesUnder(folder), ripNames(".ogg"));
        EXPECT_TRUE(oggAudio(folder / "Track 01.ogg") == alone[disc][0]);
        EXPECT_TRUE(oggAudio(folder / "Track 02.ogg") == alone[disc][1]);
    }
    EXPECT_TRUE(std::filesystem::is_empty(shared)) << "no temporary file is left";
    std::filesystem::remove_all(shared);
}

TEST(CliRip, AReadErrorInTheSecondTrackIsToldOnceAndEndsTheJob) {
    // Track 2 starts at frame 75; frame 100 never reads.
    CliScratch scratch(
        "gen:track audio 0:01/track audio 0:01/track audio 0:01,fail=100-100,noaudio");
    scratch.setDword("CDRom", "Buffer", 8);
    const ProcessResult result = scratch.run({"rip", "--format", "ogg"});
    EXPECT_EQ(result.exitStatus, 1);
    const auto error = result.err.find("Error at ");
    ASSERT_NE(error, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Error at ", error + 1), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("Track 1 \"Track 01\": Encoded\n"), std::string::npos);
    EXPECT_NE(result.out.find("Track 2 \"Track 02\": Error\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Track 3 \"Track 03\": Error\n"), std::string::npos);
    EXPECT_EQ(filesUnder(scratch.ripFolder()), std::vector<std::string>{"Track 01.ogg"});
    EXPECT_TRUE(filesUnder(scratch.tempFolder()).empty());
}

// --out may name a folder that is not there yet: it is made for a segment as for tracks.
TEST(CliRip, OutMakesItsFolderForTracksAndSegmentsAlike) {
    CliScratch scratch("gen:track audio 0:01/track audio 0:01,noaudio");
    const auto tracks = scratch.root() / "tracks";
    const ProcessResult ripped =
        scratch.run({"rip", "--tracks", "2", "--format", "wav", "--out", tracks.string()});
    ASSERT_EQ(ripped.exitStatus, 0) << ripped.err;
    EXPECT_EQ(filesUnder(tracks), std::vector<std::string>{"Track 02.wav"});

    const auto segment = scratch.root() / "segment";
    const ProcessResult cut =
        scratch.run({"rip", "--segment", "0-75", "--format", "wav", "--out", segment.string()});
    ASSERT_EQ(cut.exitStatus, 0) << cut.err;
    EXPECT_EQ(filesUnder(segment), std::vector<std::string>{"Untitled.wav"});

    // A folder that cannot be made is told, and nothing is ripped.
    test::writeFile(scratch.root() / "plain", "a file");
    const ProcessResult refused = scratch.run({"rip", "--segment", "0-75", "--format", "wav",
                                               "--out", (scratch.root() / "plain/x").string()});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "Cannot create the folder \"" + (scratch.root() / "plain/x").string() +
                               "\": Not a directory\n");
}

TEST(CliRip, ASegmentAcrossATrackBoundaryGivesExactlyThoseFrames) {
    const std::string disc = "gen:seed 5/track audio 150/track audio 120";
    CliScratch scratch(disc + ",noaudio");
    const auto reference = discWavs(scratch, disc);
    const ProcessResult result = scratch.run({"rip", "--segment", "100-200", "--format", "wav"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto output = scratch.ripFolder() / "Untitled.wav";
    EXPECT_NE(result.out.find(output.string()), std::string::npos) << result.out;
    const std::string wav = test::readFile(output);
    constexpr std::size_t kFrame = 2352;
    const std::string expected =
        test::readFile(reference / "track01.wav").substr(44 + 100 * kFrame) +
        test::readFile(reference / "track02.wav").substr(44, 50 * kFrame);
    ASSERT_EQ(wav.size(), 44 + 100 * kFrame);
    EXPECT_TRUE(wav.substr(44) == expected);

    // Encoded segments carry no tag and leave no temporary file; a range beyond the disc is cut.
    const ProcessResult ogg = scratch.run({"rip", "--segment", "200-999", "--format", "ogg"});
    ASSERT_EQ(ogg.exitStatus, 0) << ogg.err;
    EXPECT_EQ(ogg.err, "exceed\n");
    EXPECT_EQ(filesUnder(scratch.ripFolder()),
              (std::vector<std::string>{"Untitled.ogg", "Untitled.wav"}));
    EXPECT_TRUE(filesUnder(scratch.tempFolder()).empty());
    EXPECT_NEAR(std::stod(test::probe(scratch.ripFolder() / "Untitled.ogg")["duration"]), 70.0 / 75,
                0.05);

    EXPECT_EQ(scratch.run({"rip", "--segment", "270-300"}).exitStatus, 1);
}

}  // namespace
}  // namespace tonalda::e2e
