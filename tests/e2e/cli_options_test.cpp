// The command line and the printed forms that need no drive.

#include <gtest/gtest.h>

#include "app/cli/cli_console.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_report.h"

namespace tonalda::cli {
namespace {

ParseResult parse(std::vector<std::string> arguments) {
    return parseCommandLine(arguments);
}

TEST(CliTrackSelection, ListsAndRangesAndTheirMistakes) {
    EXPECT_EQ(parseTrackSelection("all"), std::set<int>{});
    EXPECT_EQ(parseTrackSelection("1,3-5"), (std::set<int>{1, 3, 4, 5}));
    EXPECT_EQ(parseTrackSelection("4-4,2,2"), (std::set<int>{2, 4}));
    EXPECT_EQ(parseTrackSelection("99"), std::set<int>{99});
    for (const char* wrong : {"", "0", "5-3", "1,", ",1", "1-", "-2", "a", "1 ,2", "100", "3-x"})
        EXPECT_FALSE(parseTrackSelection(wrong)) << wrong;
}

TEST(CliSegment, FirstToLastFrames) {
    EXPECT_EQ(parseSegment("14000-14240"), (FrameRange{14000, 14240}));
    EXPECT_EQ(parseSegment("0-0"), (FrameRange{0, 0}));
    for (const char* wrong : {"", "5", "10-5", "-5", "5-", "a-b", "1-2-3", "99999999999-1"})
        EXPECT_FALSE(parseSegment(wrong)) << wrong;
}

TEST(CliCommandLine, FlagsGoWithTheirCommands) {
    auto rip = parse({"rip", "--unit", "1", "--tracks", "2,4", "--format", "OGG", "--out", "/x"});
    ASSERT_TRUE(rip.options) << rip.error;
    EXPECT_EQ(rip.options->command, Command::Rip);
    EXPECT_EQ(rip.options->unit, 1);
    EXPECT_EQ(rip.options->tracks, (std::set<int>{2, 4}));
    EXPECT_EQ(rip.options->format, 3);
    EXPECT_EQ(rip.options->outFolder, "/x");

    auto convert = parse({"convert", "--format", "wma", "a.wav", "b.wav"});
    ASSERT_TRUE(convert.options) << convert.error;
    EXPECT_EQ(convert.options->format, 2);
    EXPECT_EQ(convert.options->files, (std::vector<std::string>{"a.wav", "b.wav"}));

    auto library = parse({"library", "ini-write", "--unit", "0"});
    ASSERT_TRUE(library.options) << library.error;
    EXPECT_EQ(library.options->library, LibraryOperation::IniWrite);

    auto lookup = parse({"lookup", "--json", "--save"});
    ASSERT_TRUE(lookup.options);
    EXPECT_TRUE(lookup.options->json && lookup.options->save);

    auto submit = parse({"submit", "--unit", "1", "--test"});
    ASSERT_TRUE(submit.options) << submit.error;
    EXPECT_EQ(submit.options->command, Command::Submit);
    EXPECT_TRUE(submit.options->test);
    EXPECT_FALSE(parse({"submit"}).options->test);

    EXPECT_EQ(parse({"toc", "--help"}).options->command, Command::Help);
}

TEST(CliCommandLine, MistakesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"play"},
        {"toc", "--tracks", "1"},   // a rip flag
        {"drives", "--unit", "0"},  // drives take no unit
        {"toc", "--unit"},          // value missing
        {"toc", "--unit", "-1"},
        {"rip", "--format", "flac"},
        {"rip", "--tracks", "1", "--segment", "0-10"},
        {"convert", "--format", "wav", "a.wav"},  // WAV is no conversion target
        {"convert", "--format", "mp3"},           // no file
        {"convert", "a.wav"},                     // no format
        {"library"},
        {"library", "delete"},
        {"lookup", "extra"},
        {"lookup", "--test"},  // only a submission is tested
        {"submit", "--save"},
        {"rip", "--out", ""},
    };
    for (const auto& arguments : wrong) {
        const ParseResult result = parse(arguments);
        EXPECT_FALSE(result.options) << (arguments.empty() ? "" : arguments[0]);
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(CliJson, StringsAreEscapedAndUtf8Kept) {
    EXPECT_EQ(jsonString("Tè \"日\" \\ /"), "\"Tè \\\"日\\\" \\\\ /\"");
    EXPECT_EQ(jsonString(std::string("a\nb\tc\x01\x7f", 8)), "\"a\\nb\\tc\\u0001\\u007f\\u0000\"");
}

TEST(CliJson, DiscInformationShape) {
    const DiscReport report{0x0c016602, "A \"B\"", "C", 17, {"One", "Two"}};
    EXPECT_EQ(discJson(report),
              "{\"discId\": \"0c016602\", \"artist\": \"A \\\"B\\\"\", \"album\": \"C\", "
              "\"genreIndex\": 17, \"titles\": [\"One\", \"Two\"]}");
}

TEST(CliProgress, BarFollowsThousandthsAndStaysInRange) {
    EXPECT_EQ(progressBar(0, 10), "[----------]   0%");
    EXPECT_EQ(progressBar(455, 10), "[####------]  45%");
    EXPECT_EQ(progressBar(1000, 10), "[##########] 100%");
    EXPECT_EQ(progressBar(5000, 10), progressBar(1000, 10));
    EXPECT_EQ(progressBar(-3, 10), progressBar(0, 10));
}

}  // namespace
}  // namespace tonalda::cli
