// drives, toc and the start-up of tonalda-cli, run as a program against virtual drives.

#include <gtest/gtest.h>

#include "e2e/cli_scratch.h"

namespace tonalda::e2e {
namespace {

// Tracks at 00:02:00 and 03:10:20, lead-out at 06:00:00: disc ID 0c016602, player key 30C14.
const std::string kExampleDisc = "gen:track audio 14120/track audio 12730,noaudio";

TEST(CliDrives, OneLinePerDriveWithItsUnit) {
    CliScratch scratch(kExampleDisc + ";none,vendor=ACME,product=Second Drive,noaudio");
    ASSERT_EQ(scratch.setupResult().exitStatus, 0) << scratch.setupResult().err;
    const ProcessResult result = scratch.run({"drives"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const auto second = result.out.find("\n1: ACME");
    EXPECT_TRUE(result.out.starts_with("0: TONALDA")) << result.out;
    EXPECT_NE(second, std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Second Drive", second), std::string::npos);
}

TEST(CliToc, JsonOfTheWorkedExampleDisc) {
    CliScratch scratch(kExampleDisc);
    const ProcessResult result = scratch.run({"toc", "--json"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "{\"discId\": \"0c016602\", \"playerKey\": \"30C14\", \"first\": 1, \"last\": 2, "
              "\"leadOut\": 26850, \"tracks\": [{\"number\": 1, \"startFrame\": 0, \"frameCount\": "
              "14120, \"data\": false, \"title\": \"Track 01\", \"time\": \"03:08\", \"size\": "
              "\"31.67 MB\"}, {\"number\": 2, \"startFrame\": 14120, \"frameCount\": 12730, "
              "\"data\": false, \"title\": \"Track 02\", \"time\": \"02:50\", \"size\": \"28.55 "
              "MB\"}]}\n");
    EXPECT_EQ(result.err, "");
}

TEST(CliToc, EnhancedDiscShowsItsDataTrackAndTheShortenedAudioTrack) {
    CliScratch scratch("gen:track audio 0:10/track audio 3:00/track data 0:20,noaudio");
    const ProcessResult json = scratch.run({"toc", "--json"});
    ASSERT_EQ(json.exitStatus, 0) << json.err;
    // The last audio track loses the 11250-frame gap before the data session; its size does not.
    EXPECT_NE(json.out.find("{\"number\": 2, \"startFrame\": 750, \"frameCount\": 2250, "
                            "\"data\": false, \"title\": \"Track 02\", \"time\": \"03:00\", "
                            "\"size\": \"30.28 MB\"}"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("{\"number\": 3, \"startFrame\": 14250, \"frameCount\": 1500, "
                            "\"data\": true"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"leadOut\": 15750"), std::string::npos);

    const ProcessResult text = scratch.run({"toc"});
    ASSERT_EQ(text.exitStatus, 0) << text.err;
    EXPECT_NE(text.out.find("3  Track 03"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("14250     1500  data"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("2250  audio"), std::string::npos) << text.out;
}

TEST(CliToc, UnitFlagChoosesTheDriveForThisRunOnly) {
    CliScratch scratch(kExampleDisc + ";gen:track audio 0:05,noaudio");
    const ProcessResult second = scratch.run({"toc", "--unit", "1", "--json"});
    ASSERT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_NE(second.out.find("\"leadOut\": 375"), std::string::npos) << second.out;
    // The hive still names the first drive.
    const ProcessResult first = scratch.run({"toc", "--json"});
    EXPECT_NE(first.out.find("\"leadOut\": 26850"), std::string::npos) << first.out;

    const ProcessResult missing = scratch.run({"toc", "--unit", "2"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("no drive 2"), std::string::npos) << missing.err;
}

TEST(CliToc, NoDiscAndNoDriveEndWithStatusOne) {
    CliScratch empty("none,noaudio");
    const ProcessResult noDisc = empty.run({"toc"});
    EXPECT_EQ(noDisc.exitStatus, 1);
    EXPECT_EQ(noDisc.out, "");
    EXPECT_EQ(noDisc.err, "Please insert an audio CD in your CD-ROM and press 'Refresh' button\n");

    CliScratch noDrives("");
    const ProcessResult drives = noDrives.run({"drives"});
    EXPECT_EQ(drives.exitStatus, 1);
    EXPECT_NE(drives.err.find("No "), std::string::npos) << drives.err;
}

TEST(CliStartup, AGroupThatCannotBeReadIsReportedAndTheCommandGoesOn) {
    CliScratch scratch(kExampleDisc);
    // A hive without the WMA group, as an incomplete installation leaves it.
    std::string hive = test::readFile(scratch.hive());
    const auto start = hive.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\WMA]");
    ASSERT_NE(start, std::string::npos);
    hive.erase(start, hive.find("\n[", start + 1) + 1 - start);
    test::writeFile(scratch.hive(), hive);

    const ProcessResult result = scratch.run({"toc"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "Initialization error!\n\nPlease reinstall Tonalda again!\n");
    EXPECT_NE(result.out.find("Disc ID 0c016602"), std::string::npos);
}

TEST(CliCommandLine, WrongUseGivesStatusTwoAndHelpGivesZero) {
    CliScratch scratch(kExampleDisc);
    const ProcessResult wrong = scratch.run({"toc", "--bogus"});
    EXPECT_EQ(wrong.exitStatus, 2);
    EXPECT_NE(wrong.err.find("--bogus"), std::string::npos);
    EXPECT_EQ(wrong.out, "");

    const ProcessResult help = scratch.run({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("Usage: tonalda-cli"), std::string::npos);
}

}  // namespace
}  // namespace tonalda::e2e
