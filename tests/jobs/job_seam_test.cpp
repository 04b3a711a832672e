// The rip and convert jobs at their seam: a view slower than the worker, two jobs at once with
// their own cancels, and a job stopped from its receiver's thread while its worker waits on a
// prompt.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <thread>

#include "convert/convert_job.h"
#include "rip/rip_job.h"
#include "rip/rip_job_fixture.h"

namespace tonalda {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kTrackFrames[] = {300, 260, 200};
const std::string kDisc = "gen:seed 33/track audio 300/track audio 260/track audio 200";
// Drive 1: the same disc with a frame of track 2 that never reads.
const std::string kDrives = kDisc + ",noaudio;" + kDisc + ",noaudio,fail=400-400";

class JobSeam : public test::RipJobTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 2);
        installDefaults();
        options_.subFolderRule = 0;
    }

    std::vector<std::filesystem::path> ripFiles() const { return filesIn(dir_ / "rip"); }
};

// What a view saw of a rip, and how long the worker took.
struct ObservedRip {
    std::chrono::milliseconds workerTime{};
    std::size_t handledWhenWorkerEnded = 0;
    std::vector<JobNotice> notices;
};

ObservedRip ripWithObserver(JobSeam* test, CdEngine& engine, Registry& registry, Prompter& prompter,
                            TrackList& list, const RipOptions& options,
                            std::chrono::milliseconds perEvent) {
    std::atomic<std::size_t> handled{0};
    std::atomic<bool> workerEnded{false};
    test::JobView view(test::JobView::Delivery::OnTestThread, [&](const JobNotice&) {
        // A slow view holds its first event until the worker has ended (or a minute passed): a
        // worker that waited for the view would never end, however loaded the machine is.
        if (perEvent > 0ms && handled == 0)
            for (auto waited = 0ms; !workerEnded && waited < 60s; waited += 1ms)
                std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(perEvent);
        ++handled;
    });
    RipJob job(engine, registry, prompter, view.events());
    ObservedRip observed;
    const auto start = Clock::now();
    EXPECT_TRUE(job.start(list, options));
    // The worker's end, seen from a thread that is not the view.
    std::thread watch([&] {
        while (job.running())
            std::this_thread::sleep_for(1ms);
        observed.workerTime =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        observed.handledWhenWorkerEnded = handled.load();
        workerEnded = true;
    });
    view.follow(job);
    watch.join();
    observed.notices = view.notices();
    (void)test;
    return observed;
}

std::vector<RowStatusChanged> statusChanges(const std::vector<JobNotice>& notices) {
    std::vector<RowStatusChanged> changes;
    for (const JobNotice& notice : notices)
        if (const auto* change = std::get_if<RowStatusChanged>(&notice.event))
            changes.push_back(*change);
    return changes;
}

std::map<std::pair<int, RowActivity>, int> lastProgress(const std::vector<JobNotice>& notices) {
    std::map<std::pair<int, RowActivity>, int> last;
    for (const JobNotice& notice : notices)
        if (const auto* progress = std::get_if<RowProgress>(&notice.event))
            last[{progress->row, progress->activity}] = progress->thousandths;
    return last;
}

TEST_F(JobSeam, AViewTaking200MsPerEventNeverHoldsUpTheWorker) {
    options_.format = 1;  // MP3: extraction and encoding per track
    TrackList list(*engine_);
    loadDisc(list, 0);
    const ObservedRip fast =
        ripWithObserver(this, *engine_, registry_, prompter_, list, options_, 0ms);
    std::filesystem::remove_all(dir_ / "rip");
    const ObservedRip slow =
        ripWithObserver(this, *engine_, registry_, prompter_, list, options_, 200ms);
    std::cout << "[ times    ] worker with a fast view " << fast.workerTime.count()
              << " ms, with a view taking 200 ms per event " << slow.workerTime.count()
              << " ms; the slow view had handled " << slow.handledWhenWorkerEnded << " of "
              << slow.notices.size() << " events when the worker ended\n";
    RecordProperty("fast_view_worker_ms", static_cast<int>(fast.workerTime.count()));
    RecordProperty("slow_view_worker_ms", static_cast<int>(slow.workerTime.count()));

    // The worker finished while the slow view still held its first event.
    EXPECT_EQ(slow.handledWhenWorkerEnded, 0u);
    // Every status change arrived, in order.
    std::vector<RowStatusChanged> expected;
    for (int row = 0; row < 3; ++row)
        for (RowStatus status :
             {RowStatus::Extracting, RowStatus::Extracted, RowStatus::Encoding, RowStatus::Encoded})
            expected.push_back({row, status});
    EXPECT_EQ(statusChanges(slow.notices), expected);
    EXPECT_EQ(statusChanges(fast.notices), expected);
    // And the last progress of every row, as the fast view saw it.
    const auto slowLast = lastProgress(slow.notices);
    EXPECT_EQ(slowLast, lastProgress(fast.notices));
    EXPECT_EQ(slowLast.size(), 6u);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(slowLast.at({row, RowActivity::Extracting}), 1000);
    EXPECT_EQ(slow.notices.back().event, JobEvent(JobFinished{JobOutcome::Finished}));
    EXPECT_EQ(ripFiles().size(), 3u);
}

TEST_F(JobSeam, ARipAndAConversionAtOnceStopOnlyWhenTheirOwnCancelIsRequested) {
    options_.format = 0;
    ConvertOptions convert;
    convert.encodeFolder = dir_ / "encoded";
    convert.tempFolder = dir_ / "temp";
    convert.ogg = options_.ogg;
    convert.wma = options_.wma;
    std::vector<std::string> sources;
    for (const char* name : {"one.wav", "two.wav"}) {
        test::writeToneWav(dir_ / name, 2 * 44100);
        sources.push_back((dir_ / name).string());
    }

    for (const bool stopTheRip : {true, false}) {
        SCOPED_TRACE(stopTheRip ? "the rip is cancelled" : "the conversion is cancelled");
        std::filesystem::remove_all(dir_ / "rip");
        std::filesystem::remove_all(dir_ / "encoded");
        TrackList list(*engine_);
        loadDisc(list, 0);
        test::JobView view;
        RipJob rip(*engine_, registry_, prompter_, view.events());
        ConvertJob conversion(registry_, prompter_, view.events());
        // One job is started and cancelled, then the other starts: the second start must not
        // take back the first one's cancel.
        if (stopTheRip) {
            ASSERT_TRUE(rip.start(list, options_));
            rip.requestStop();
            ASSERT_TRUE(conversion.start(sources, OutputFormat::Ogg, convert));
        } else {
            ASSERT_TRUE(conversion.start(sources, OutputFormat::Ogg, convert));
            conversion.requestStop();
            ASSERT_TRUE(rip.start(list, options_));
        }
        view.follow(rip);
        view.follow(conversion);

        if (stopTheRip) {
            // A loaded machine may let the short first track finish before the cancel lands;
            // the rip still stops before the end of the disc.
            EXPECT_FALSE(rip.succeeded());
            EXPECT_LT(ripFiles().size(), 3u);
            EXPECT_TRUE(conversion.succeeded());
            for (const char* name : {"one.ogg", "two.ogg"}) {
                const auto fields = test::probe(dir_ / "encoded" / name);
                EXPECT_NEAR(std::stod(fields.at("duration")), 2.0, 0.1) << name;
            }
        } else {
            EXPECT_FALSE(conversion.succeeded());
            EXPECT_FALSE(std::filesystem::exists(dir_ / "encoded" / "one.ogg"));
            EXPECT_FALSE(std::filesystem::exists(dir_ / "encoded" / "two.ogg"));
            ASSERT_TRUE(rip.succeeded());
            std::uint32_t first = 0;
            for (int track = 0; track < 3; ++track) {
                char name[32];
                std::snprintf(name, sizeof name, "Track %02d.wav", track + 1);
                const std::string wav = test::readFile(dir_ / "rip" / name);
                EXPECT_TRUE(wav.substr(44) ==
                            discAudio(list.sessionHandle(), first, kTrackFrames[track]))
                    << name;
                first += kTrackFrames[track];
            }
        }
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    }
}

// Blocks a prompt until its job is stopped, as a message box nobody answers.
class UnansweredPrompter final : public Prompter {
  public:
    PromptAnswer ask(const Prompt&) override { return PromptAnswer::Ok; }
    PromptAnswer ask(const Prompt& prompt, const CancelToken& cancel) override {
        {
            std::lock_guard lock(mutex_);
            texts_.push_back(prompt.text);
        }
        asked_ = true;
        while (!cancel.stopRequested())
            std::this_thread::sleep_for(1ms);
        answers_.push_back(PromptAnswer::Cancel);
        return PromptAnswer::Cancel;
    }
    bool asked() const { return asked_.load(); }
    std::vector<PromptAnswer> answers() const { return answers_; }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
    std::atomic<bool> asked_{false};
    std::vector<PromptAnswer> answers_;  // written by the worker before it ends
};

TEST_F(JobSeam, ARipDestroyedByItsReceiverWhileItsWorkerWaitsOnAPromptEndsCleanly) {
    options_.format = 3;  // Ogg Vorbis: a temporary file per track
    TrackList list(*engine_);
    loadDisc(list, 1);
    UnansweredPrompter prompter;
    test::JobView view;
    std::vector<JobNotice> seen;
    {
        RipJob job(*engine_, registry_, prompter, view.events());
        ASSERT_TRUE(job.start(list, options_));
        // The receiver goes on receiving until the worker waits on the read error's message.
        while (!prompter.asked())
            for (const JobNotice& notice : view.events().drain())
                seen.push_back(notice);
        finishOnReceiverThread(job, view.events(),
                               [&](const JobNotice& notice) { seen.push_back(notice); });
        EXPECT_FALSE(job.running());
    }  // destroyed here, on the thread that received its events

    EXPECT_EQ(prompter.answers(), std::vector<PromptAnswer>{PromptAnswer::Cancel});
    ASSERT_EQ(prompter.texts().size(), 1u);
    EXPECT_TRUE(prompter.texts()[0].starts_with("Error at "));
    EXPECT_EQ(seen.back().event, JobEvent(JobFinished{JobOutcome::Failed}));
    // Track 1 is complete; nothing of track 2 is left, neither its temporary file nor an output.
    ASSERT_EQ(ripFiles().size(), 1u);
    EXPECT_EQ(ripFiles()[0].filename(), "Track 01.ogg");
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
}

}  // namespace
}  // namespace tonalda
