// The segment rip worker through the virtual drive: exact frames across a track boundary, each
// format without tags, extraction errors and cancel.

#include "rip/segment_rip.h"

#include <gtest/gtest.h>

#include "rip/rip_job_fixture.h"

namespace tonalda {
namespace {

using test::messageOutline;

// Drive 0: two tracks, the boundary at frame 300. Drive 1: the same with frame 320 unreadable.
const std::string kDisc = "gen:seed 5/track audio 300/track audio 260";
const std::string kDrives = kDisc + ",noaudio;" + kDisc + ",noaudio,fail=320-320";

class SegmentRipTest : public test::RipJobTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 2);
        installDefaults();
        list_ = std::make_unique<TrackList>(*engine_);
    }
    void TearDown() override {
        list_.reset();
        RipJobTest::TearDown();
    }

    SegmentRipOptions segmentOptions(std::int32_t format, int unit = 0) {
        loadDisc(*list_, unit);
        SegmentRipOptions options;
        options.format = format;
        options.output = defaultSegmentOutput(dir_ / "out", format);
        options.tempFolder = options_.tempFolder;
        options.cdrom = options_.cdrom;
        options.ogg = options_.ogg;
        options.wma = options_.wma;
        std::filesystem::create_directory(dir_ / "out");
        return options;
    }

    std::unique_ptr<TrackList> list_;
};

TEST_F(SegmentRipTest, WavAcrossATrackBoundaryHoldsExactlyThoseFrames) {
    const SegmentRipOptions options = segmentOptions(0);
    test::JobView dialog;
    SegmentRip rip(*engine_, registry_, prompter_, dialog.events());
    ASSERT_TRUE(rip.start(list_->sessionHandle(), 250, 351, options));
    dialog.follow(rip);

    EXPECT_EQ(rip.outcome(), SegmentOutcome::Finished);
    EXPECT_EQ(rip.status(), "Finished");
    EXPECT_EQ(messageOutline(dialog.messages()),
              (std::vector<std::string>{"job-begin", "extract-begin", "extract-progress",
                                        "extract-done", "encode-done", "job-end"}));
    EXPECT_EQ(filesIn(dir_ / "out"),
              (std::vector<std::filesystem::path>{dir_ / "out" / "Untitled.wav"}));
    const std::string wav = test::readFile(dir_ / "out" / "Untitled.wav");
    ASSERT_EQ(wav.size(), 44u + 101u * kFrameBytes);
    EXPECT_TRUE(wav.substr(44) == discAudio(list_->sessionHandle(), 250, 101));
    EXPECT_TRUE(prompter_.texts().empty());
}

TEST_F(SegmentRipTest, EncodedFormatsGiveOneUntaggedFileAndNoTemporaryFile) {
    for (const std::int32_t format : {1, 2, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        const SegmentRipOptions options = segmentOptions(format);
        test::JobView dialog;
        SegmentRip rip(*engine_, registry_, prompter_, dialog.events());
        ASSERT_TRUE(rip.start(list_->sessionHandle(), 150, 450, options));
        dialog.follow(rip);

        EXPECT_EQ(rip.outcome(), SegmentOutcome::Finished);
        EXPECT_EQ(rip.status(), "Finished");
        // Every format shows its encoding as it begins.
        const std::vector<std::string> expected{"job-begin",    "extract-begin", "extract-progress",
                                                "extract-done", "encode-begin",  "encode-progress",
                                                "encode-done",  "job-end"};
        EXPECT_EQ(messageOutline(dialog.messages()), expected);
        EXPECT_EQ(filesIn(dir_ / "out"), (std::vector<std::filesystem::path>{options.output}));
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
        auto fields = test::probe(options.output);
        EXPECT_NEAR(std::stod(fields["duration"]), 4.0, 0.1);
        EXPECT_EQ(fields.count("TAG:title"), 0u);
        std::filesystem::remove_all(dir_ / "out");
        EXPECT_TRUE(prompter_.texts().empty());
    }
}

TEST_F(SegmentRipTest, ExtractionErrorLeavesNoFileAndEndsTheDialogsBusyState) {
    for (const std::int32_t format : {0, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        const SegmentRipOptions options = segmentOptions(format, 1);
        test::JobView dialog;
        RecordingPrompter prompter;
        SegmentRip rip(*engine_, registry_, prompter, dialog.events());
        ASSERT_TRUE(rip.start(list_->sessionHandle(), 280, 400, options));
        dialog.follow(rip);

        EXPECT_EQ(rip.outcome(), SegmentOutcome::Failed);
        EXPECT_EQ(rip.status(), "Error");
        ASSERT_EQ(prompter.texts().size(), 1u);
        EXPECT_TRUE(prompter.texts()[0].starts_with("Error at "));
        EXPECT_EQ(dialog.messagesOf(UM_ENCODE_BEGIN).size(), 0u);
        EXPECT_EQ(dialog.messagesOf(UM_EXTRACT_DONE).size(), 0u);
        EXPECT_EQ(dialog.finished(), JobOutcome::Failed);  // the dialog leaves its busy state
        EXPECT_TRUE(filesIn(dir_ / "out").empty());
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    }
}

// The output is written under a temporary name: a cancel (while a WAV file is extracted, while
// the other formats encode) leaves an older file of the output's name as it was, and nothing else.
TEST_F(SegmentRipTest, CancelLeavesAnOlderFileOfTheNameAsItWas) {
    for (const std::int32_t format : {0, 1, 2, 3}) {
        SCOPED_TRACE("format " + std::to_string(format));
        const SegmentRipOptions options = segmentOptions(format);
        const RowActivity stopAt = format == 0 ? RowActivity::Extracting : RowActivity::Encoding;
        test::writeFile(options.output, "an older file of that name");
        SegmentRip* running = nullptr;
        test::JobView dialog(test::JobView::Delivery::OnPostingThread,
                             [&](const JobNotice& notice) {
                                 const auto* progress = std::get_if<RowProgress>(&notice.event);
                                 if (progress && progress->activity == stopAt && running)
                                     running->requestStop();
                             });
        SegmentRip rip(*engine_, registry_, prompter_, dialog.events());
        running = &rip;
        ASSERT_TRUE(rip.start(list_->sessionHandle(), 0, 560, options));
        dialog.follow(rip);

        EXPECT_EQ(rip.outcome(), SegmentOutcome::Canceled);
        EXPECT_EQ(rip.status(), "Canceled");
        EXPECT_EQ(dialog.messagesOf(UM_ENCODE_DONE).size(), 0u);
        EXPECT_EQ(filesIn(dir_ / "out"), (std::vector<std::filesystem::path>{options.output}));
        EXPECT_EQ(test::readFile(options.output), "an older file of that name");
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
        std::filesystem::remove_all(dir_ / "out");
    }
}

TEST_F(SegmentRipTest, EmptyOrReversedRangeStartsNothing) {
    const SegmentRipOptions options = segmentOptions(0);
    test::JobView dialog;
    SegmentRip rip(*engine_, registry_, prompter_, dialog.events());
    EXPECT_FALSE(rip.start(list_->sessionHandle(), 300, 300, options));
    EXPECT_FALSE(rip.start(list_->sessionHandle(), 301, 300, options));
    EXPECT_FALSE(dialog.events().waitForEvents(std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace tonalda
