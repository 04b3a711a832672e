// Rip jobs end to end through the virtual drive: every format with the installer's settings, the
// message order, cancel, extraction errors and colliding names.

#include "rip/rip_job.h"

#include <gtest/gtest.h>

#include "codecs/output_format.h"
#include "rip/rip_job_fixture.h"

namespace tonalda {
namespace {

using test::messageOutline;

constexpr std::uint32_t kTrackFrames[] = {300, 260, 200, 220, 180};

// Drive 0: five audio tracks. Drive 1: the same disc with a block of track 2 that never reads.
const std::string kDisc =
    "gen:seed 21/track audio 300/track audio 260/track audio 200/track audio 220"
    "/track audio 180";
const std::string kDrives = kDisc + ",noaudio;" + kDisc + ",noaudio,fail=400-400";

class RipJobEndToEnd : public test::RipJobTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 2);
        installDefaults();
    }

    // With the default rules: "<Artist-Title>" from the default rows' version 1 fields (no
    // artist, so no hyphen), in the rip folder: blank disc fields add no "<Artist>\<Album>" levels.
    std::filesystem::path output(int track, std::string_view extension) const {
        char name[32];
        std::snprintf(name, sizeof name, "Track %02d", track);
        return dir_ / "rip" / (name + std::string(extension));
    }
};

TEST_F(RipJobEndToEnd, EveryFormatWithDefaultSettingsGivesNamedTaggedFilesAndNoTemporaryFile) {
    for (const std::int32_t format : {0, 1, 2, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        std::filesystem::remove_all(dir_ / "rip");
        options_.format = format;
        TrackList list(*engine_);
        loadDisc(list, 0);
        for (int row = 2; row < 5; ++row)
            list.setChecked(row, false);
        test::JobView view;
        RipJob job(*engine_, registry_, prompter_, view.events());
        ASSERT_TRUE(job.start(list, options_));
        EXPECT_EQ(list.columnText(0, kColumnStatus), "Waiting");
        EXPECT_EQ(list.columnText(2, kColumnStatus), "");
        EXPECT_EQ(list.item(1).baseName, "Track 02");
        view.follow(job);

        EXPECT_TRUE(prompter_.texts().empty()) << prompter_.texts().front();
        const std::string finished = format == 0 ? "Extracted" : "Encoded";
        EXPECT_EQ(statuses(job), (std::vector<std::string>{finished, finished}));
        EXPECT_TRUE(job.succeeded());
        EXPECT_EQ(job.entries()[1].item.row, 1);

        const std::vector<std::string> track =
            format == 0
                ? std::vector<std::string>{"extract-begin", "extract-progress", "extract-done"}
                : std::vector<std::string>{"extract-begin", "extract-progress", "extract-done",
                                           "encode-begin",  "encode-progress",  "encode-done"};
        std::vector<std::string> expected{"job-begin"};
        for (int i = 0; i < 2; ++i)
            expected.insert(expected.end(), track.begin(), track.end());
        expected.push_back("job-end");
        EXPECT_EQ(messageOutline(view.messages()), expected);

        const std::string extension(outputFormatExtension(format));
        EXPECT_EQ(filesIn(dir_ / "rip"),
                  (std::vector<std::filesystem::path>{output(1, extension), output(2, extension)}))
            << "files of rows 1 and 2 only";
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
        for (int track = 1; track <= 2; ++track) {
            const auto file = output(track, extension);
            if (format == 0) {
                const std::string wav = test::readFile(file);
                ASSERT_EQ(wav.size(), 44u + kTrackFrames[track - 1] * kFrameBytes);
                EXPECT_TRUE(wav.substr(44) == discAudio(list.sessionHandle(), track == 1 ? 0 : 300,
                                                        kTrackFrames[track - 1]))
                    << "track " << track << " differs from the disc";
                continue;
            }
            auto tags = test::probe(file);
            char title[16];
            std::snprintf(title, sizeof title, "Track %02d", track);
            if (format == 3) {
                const std::string comments =
                    test::runCommand("vorbiscomment -l " + test::quoted(file)).output;
                EXPECT_NE(comments.find("TITLE=" + std::string(title) + "\n"), std::string::npos)
                    << comments;
                EXPECT_NE(comments.find("TRACK=" + std::to_string(track) + "\n"), std::string::npos)
                    << comments;
            } else {
                EXPECT_EQ(tags["TAG:title"], title) << file;
            }
            if (format == 1) {
                EXPECT_EQ(tags["TAG:track"], std::to_string(track)) << file;
            }
            const double seconds = std::stod(tags["duration"]);
            EXPECT_NEAR(seconds, kTrackFrames[track - 1] / 75.0, 0.1) << file;
        }
    }
}

TEST_F(RipJobEndToEnd, NoCheckedRowStartsNothing) {
    TrackList list(*engine_);
    loadDisc(list, 0);
    list.clear();
    test::JobView view;
    RipJob job(*engine_, registry_, prompter_, view.events());
    EXPECT_FALSE(job.start(list, options_));
    EXPECT_FALSE(job.running());
    EXPECT_FALSE(view.events().waitForEvents(std::chrono::milliseconds(0)));
}

// Cancel from the view while a given phase of track 3 runs.
struct CancelCase {
    std::int32_t format;
    UserMessage phaseProgress;
};

class RipJobCancel : public RipJobEndToEnd, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(RipJobCancel, Track3Of5KeepsEarlierFilesAndLeavesNothingOfTrack3) {
    options_.format = GetParam().format;
    TrackList list(*engine_);
    loadDisc(list, 0);
    int begun = 0;
    RipJob* running = nullptr;
    // Handled on the worker's thread, so that the cancel lands in the phase it names.
    test::JobView view(test::JobView::Delivery::OnPostingThread, [&](const JobNotice& notice) {
        for (const SentMessage& sent : userMessagesOf(notice.event)) {
            if (sent.message == UM_EXTRACT_BEGIN)
                ++begun;
            if (begun == 3 && sent.message == GetParam().phaseProgress && running)
                running->requestStop();
        }
    });
    RipJob job(*engine_, registry_, prompter_, view.events());
    running = &job;
    ASSERT_TRUE(job.start(list, options_));
    view.follow(job);

    const std::string extension(outputFormatExtension(options_.format));
    EXPECT_EQ(filesIn(dir_ / "rip"),
              (std::vector<std::filesystem::path>{output(1, extension), output(2, extension)}));
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    EXPECT_EQ(statuses(job),
              (std::vector<std::string>{"Encoded", "Encoded", "Canceled", "Canceled", "Canceled"}));
    const auto entries = job.entries();
    EXPECT_TRUE(entries[1].item.done);
    EXPECT_FALSE(entries[2].item.done);
    EXPECT_FALSE(job.succeeded());
    EXPECT_FALSE(job.errorFlag());
    EXPECT_EQ(begun, 3) << "no later track is started";
    EXPECT_EQ(view.messages().back().message, UM_JOB_END);
    EXPECT_EQ(view.finished(), JobOutcome::Canceled);
}

std::string cancelCaseName(const ::testing::TestParamInfo<CancelCase>& info) {
    static const char* const kFormats[] = {"Wav", "Mp3", "Wma", "Ogg"};
    return std::string(kFormats[info.param.format]) +
           (info.param.phaseProgress == UM_EXTRACT_PROGRESS ? "WhileExtracting" : "WhileEncoding");
}

INSTANTIATE_TEST_SUITE_P(Phases, RipJobCancel,
                         ::testing::Values(CancelCase{1, UM_EXTRACT_PROGRESS},
                                           CancelCase{1, UM_ENCODE_PROGRESS},
                                           CancelCase{2, UM_ENCODE_PROGRESS},
                                           CancelCase{3, UM_ENCODE_PROGRESS}),
                         cancelCaseName);

TEST_F(RipJobEndToEnd, ExtractionErrorInTrack2EndsTheJobAndTheNextJobIsClean) {
    options_.format = 1;
    TrackList list(*engine_);
    loadDisc(list, 1);
    test::JobView view;
    RipJob job(*engine_, registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(list, options_));
    view.follow(job);

    int errors = 0;
    for (const std::string& text : prompter_.texts())
        errors += text.starts_with("Error at ") && text.ends_with(")\n");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(view.finished(), JobOutcome::Failed);
    EXPECT_EQ(statuses(job),
              (std::vector<std::string>{"Encoded", "Error", "Error", "Error", "Error"}));
    EXPECT_TRUE(job.errorFlag());
    EXPECT_EQ(view.messagesOf(UM_EXTRACT_BEGIN).size(), 2u);
    EXPECT_EQ(filesIn(dir_ / "rip"), (std::vector<std::filesystem::path>{output(1, ".mp3")}));
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());

    // The next job on the good drive shows its own statuses.
    options_.format = 0;
    TrackList good(*engine_);
    loadDisc(good, 0);
    ASSERT_TRUE(job.start(good, options_));
    view.follow(job);
    EXPECT_FALSE(job.errorFlag());
    EXPECT_EQ(statuses(job), std::vector<std::string>(5, "Extracted"));
    EXPECT_TRUE(job.succeeded());
}

TEST_F(RipJobEndToEnd, AnOutputFolderThatCannotBeMadeStopsTheJobAsAnError) {
    options_.format = 3;
    test::writeFile(dir_ / "rip", "a file where the rip folder should be");
    TrackList list(*engine_);
    loadDisc(list, 0);
    test::JobView view;
    RipJob job(*engine_, registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(list, options_));
    view.follow(job);
    EXPECT_EQ(prompter_.texts().size(), 1u);
    EXPECT_TRUE(job.errorFlag());
    EXPECT_EQ(statuses(job), std::vector<std::string>(5, "Error"));
    EXPECT_EQ(view.messagesOf(UM_EXTRACT_BEGIN).size(), 1u);
    EXPECT_EQ(view.messagesOf(UM_ENCODE_BEGIN).size(), 0u);
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
}

TEST_F(RipJobEndToEnd, TwoTracksComposingTheSameNameLeaveTheSecondFile) {
    options_.format = 0;
    options_.fileNameRule = 1;  // <Title>
    options_.subFolderRule = 0;
    TrackList list(*engine_);
    loadDisc(list, 0);
    list.clear();
    for (int row : {1, 3}) {
        list.setChecked(row, true);
        list.item(row).tag.Title1 = "Same";
    }
    test::JobView view;
    RipJob job(*engine_, registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(list, options_));
    view.follow(job);
    EXPECT_EQ(statuses(job), (std::vector<std::string>{"Extracted", "Extracted"}));
    EXPECT_EQ(filesIn(dir_ / "rip"),
              (std::vector<std::filesystem::path>{dir_ / "rip" / "Same.wav"}));
    const std::string wav = test::readFile(dir_ / "rip" / "Same.wav");
    EXPECT_TRUE(wav.substr(44) == discAudio(list.sessionHandle(), 760, 220))
        << "the fourth track's audio";
}

}  // namespace
}  // namespace tonalda
