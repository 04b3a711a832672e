// The seam between jobs and their receivers: the event queue's order and coalescing, the wake-up,
// the runner's statuses on every way an entry ends, stopping from the receiver's thread, prompts
// that end with the job, and private temporary files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "platform/job_event_queue.h"
#include "platform/job_runner.h"
#include "platform/messages.h"
#include "platform/prompter.h"
#include "platform/temp_file.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

using namespace std::chrono_literals;

std::vector<JobEvent> eventsOf(const std::vector<JobNotice>& notices) {
    std::vector<JobEvent> events;
    for (const JobNotice& notice : notices)
        events.push_back(notice.event);
    return events;
}

TEST(JobEventQueue, ProgressOfARowIsCoalescedButNeverOvertakesItsStatusChanges) {
    JobEventQueue queue;
    queue.post(1, RowStatusChanged{0, RowStatus::Extracting});
    queue.post(1, RowProgress{0, RowActivity::Extracting, 100});
    queue.post(1, RowProgress{1, RowActivity::Extracting, 50});  // another row: its own
    queue.post(1, RowProgress{0, RowActivity::Extracting, 400});
    queue.post(2, RowProgress{0, RowActivity::Extracting, 7});  // another job: its own
    queue.post(1, RowStatusChanged{0, RowStatus::Extracted});
    queue.post(1, RowProgress{0, RowActivity::Extracting, 1000});  // after the status: kept apart
    queue.post(1, RowProgress{0, RowActivity::Encoding, 10});      // another activity: kept apart
    queue.post(1, RowProgress{0, RowActivity::Encoding, 20});

    const auto notices = queue.drain();
    EXPECT_EQ(eventsOf(notices), (std::vector<JobEvent>{
                                     RowStatusChanged{0, RowStatus::Extracting},
                                     RowProgress{0, RowActivity::Extracting, 400},
                                     RowProgress{1, RowActivity::Extracting, 50},
                                     RowProgress{0, RowActivity::Extracting, 7},
                                     RowStatusChanged{0, RowStatus::Extracted},
                                     RowProgress{0, RowActivity::Extracting, 1000},
                                     RowProgress{0, RowActivity::Encoding, 20},
                                 }));
    EXPECT_EQ(notices[3].job, 2u);

    // Drained progress is never touched again: the next one queues anew.
    queue.post(1, RowProgress{0, RowActivity::Encoding, 30});
    queue.post(1, JobFinished{JobOutcome::Finished});
    queue.post(1, RowProgress{0, RowActivity::Encoding, 40});  // not merged across the job's end
    EXPECT_EQ(eventsOf(queue.drain()), (std::vector<JobEvent>{
                                           RowProgress{0, RowActivity::Encoding, 30},
                                           JobFinished{JobOutcome::Finished},
                                           RowProgress{0, RowActivity::Encoding, 40},
                                       }));
}

TEST(JobEventQueue, WakesOncePerDrainAndTracksPendingFinishes) {
    std::atomic<int> wakes{0};
    JobEventQueue queue([&] { ++wakes; });
    queue.expectFinish(5);
    EXPECT_TRUE(queue.finishPending(5));
    std::thread worker([&] {
        queue.post(5, JobStarted{});
        queue.post(5, RowStatusChanged{0, RowStatus::Encoding});
        queue.post(5, RowProgress{0, RowActivity::Encoding, 1});
    });
    worker.join();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(queue.drain().size(), 3u);
    EXPECT_TRUE(queue.finishPending(5));
    queue.post(5, JobFinished{JobOutcome::Canceled});
    EXPECT_EQ(wakes, 2);
    EXPECT_TRUE(queue.finishPending(5)) << "pending until the receiver took the finish";
    queue.drain();
    EXPECT_FALSE(queue.finishPending(5));
}

TEST(JobEventQueue, WindowMessagesOfEventsCarryValuesOnly) {
    EXPECT_EQ(userMessagesOf(RowProgress{3, RowActivity::Encoding, 512}),
              (std::vector<SentMessage>{{UM_ENCODE_PROGRESS, 512, 0}}));
    EXPECT_EQ(userMessagesOf(RowTitleChanged{4, "x"}),
              (std::vector<SentMessage>{{UM_SET_TRACK_TITLE, 0, 4}}));
    EXPECT_EQ(userMessagesOf(RowStatusChanged{1, RowStatus::Extracted}),
              (std::vector<SentMessage>{{UM_EXTRACT_DONE, 0, 0}}));
    EXPECT_TRUE(userMessagesOf(RowStatusChanged{1, RowStatus::Canceled}).empty());
}

// A runner whose entries end as a script says.
class ScriptedRun {
  public:
    explicit ScriptedRun(std::vector<EntryResult> results) : results_(std::move(results)) {}

    JobOutcome run(JobRunner& runner) {
        return runner.runEntries([this](EntryWork& work, std::size_t index) {
            work.setStatus(RowStatus::Encoding);
            work.progress(RowActivity::Encoding).progress(500);
            if (results_[index] == EntryResult::Complete)
                work.setStatus(RowStatus::Encoded);
            return results_[index];
        });
    }

  private:
    std::vector<EntryResult> results_;
};

std::vector<RowStatus> statusesOf(const JobRunner& runner) {
    std::vector<RowStatus> statuses;
    for (const RunnerEntry& entry : runner.entries())
        statuses.push_back(entry.status);
    return statuses;
}

TEST(JobRunner, RowsEndAsTheirEntriesEndAndTheFinishComesLast) {
    struct Case {
        std::vector<EntryResult> results;
        std::vector<RowStatus> statuses;
        JobOutcome outcome;
    };
    using R = EntryResult;
    using S = RowStatus;
    const Case cases[] = {
        {{R::Complete, R::Incomplete, R::Complete},
         {S::Encoded, S::Error, S::Encoded},
         JobOutcome::Finished},
        {{R::Complete, R::Stopped, R::Complete},
         {S::Encoded, S::Canceled, S::Canceled},
         JobOutcome::Canceled},
        {{R::Complete, R::Failed, R::Complete},
         {S::Encoded, S::Error, S::Error},
         JobOutcome::Failed},
        {{R::Skipped, R::Complete, R::Complete},
         {S::Encoding, S::Encoded, S::Encoded},
         JobOutcome::Finished},
    };
    for (const Case& c : cases) {
        JobEventQueue queue;
        JobRunner runner(queue);
        ScriptedRun script(c.results);
        ASSERT_TRUE(runner.start({10, 11, 12}, [&] { return script.run(runner); }));
        std::vector<JobNotice> notices;
        deliverUntilFinished(queue, runner.id(), [&](const JobNotice& n) { notices.push_back(n); });
        EXPECT_EQ(statusesOf(runner), c.statuses);
        EXPECT_EQ(runner.outcome(), c.outcome);
        EXPECT_EQ(runner.succeeded(), c.statuses == std::vector<S>(3, S::Encoded));
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.front().event, JobEvent(JobStarted{}));
        EXPECT_EQ(notices.back().event, JobEvent(JobFinished{c.outcome}));
        // The receiver's last status of each row is the runner's.
        std::map<int, RowStatus> shown;
        for (const JobNotice& n : notices)
            if (const auto* status = std::get_if<RowStatusChanged>(&n.event))
                shown[status->row] = status->status;
        for (int row = 0; row < 3; ++row) {
            if (c.statuses[row] != S::Waiting) {
                EXPECT_EQ(shown[10 + row], c.statuses[row]) << "row " << row;
            }
        }
    }
}

TEST(JobRunner, AStopBeforeTheFirstEntryStartsNoEntry) {
    JobEventQueue queue;
    JobRunner runner(queue);
    std::atomic<bool> release{false};
    int worked = 0;
    ASSERT_TRUE(runner.start({0, 1}, [&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
        return runner.runEntries([&](EntryWork&, std::size_t) {
            ++worked;
            return EntryResult::Complete;
        });
    }));
    EXPECT_FALSE(runner.start({0}, [] { return JobOutcome::Finished; })) << "one run at a time";
    runner.requestStop();
    release = true;
    std::vector<JobNotice> notices;
    deliverUntilFinished(queue, runner.id(), [&](const JobNotice& n) { notices.push_back(n); });
    EXPECT_EQ(worked, 0);
    EXPECT_EQ(statusesOf(runner), std::vector<RowStatus>(2, RowStatus::Canceled));
    for (const JobNotice& n : notices)
        EXPECT_FALSE(std::holds_alternative<EntryStarted>(n.event) ||
                     std::holds_alternative<EntryFinished>(n.event));

    // The next run starts with a fresh cancel and a new id.
    const JobId first = runner.id();
    ASSERT_TRUE(runner.start({0}, [&] {
        return runner.runEntries([](EntryWork&, std::size_t) { return EntryResult::Complete; });
    }));
    EXPECT_NE(runner.id(), first);
    deliverUntilFinished(queue, runner.id(), [](const JobNotice&) {});
    EXPECT_TRUE(runner.succeeded());
}

// Answers nothing until its job is stopped, as a message box nobody looks at.
class UnansweredPrompter final : public Prompter {
  public:
    PromptAnswer ask(const Prompt&) override { return PromptAnswer::Ok; }
    PromptAnswer ask(const Prompt&, const CancelToken& cancel) override {
        asked = true;
        while (!cancel.stopRequested())
            std::this_thread::sleep_for(1ms);
        return PromptAnswer::Cancel;
    }
    std::atomic<bool> asked{false};
};

TEST(JobThread, AStopFromTheReceiverEndsAWaitingPromptWithCancel) {
    UnansweredPrompter prompter;
    JobEventQueue queue;
    std::optional<PromptAnswer> answer;
    {
        JobThread thread(queue);
        ASSERT_TRUE(thread.start([&] {
            JobPrompter jobPrompter(prompter, thread.cancel());
            answer = jobPrompter.ask(
                Prompt{"Error at 78 (-4:4)\n", "", PromptButtons::Ok, PromptIcon::Error});
            return JobOutcome::Canceled;
        }));
        while (!prompter.asked)
            std::this_thread::sleep_for(1ms);
        std::vector<JobNotice> notices;
        finishOnReceiverThread(thread, queue, [&](const JobNotice& n) { notices.push_back(n); });
        EXPECT_FALSE(thread.running());
        EXPECT_EQ(notices.back().event, JobEvent(JobFinished{JobOutcome::Canceled}));
    }
    EXPECT_EQ(answer, PromptAnswer::Cancel);

    // A prompt asked after the stop is not shown at all.
    CancelToken stopped;
    stopped.requestStop();
    RecordingPrompter recording;
    EXPECT_EQ(JobPrompter(recording, stopped)
                  .ask(Prompt{"late", "", PromptButtons::Ok, PromptIcon::None}),
              PromptAnswer::Cancel);
    EXPECT_TRUE(recording.prompts().empty());
}

TEST(JobThreadDeathTest, DestroyingARunningJobOnItsReceiversThreadIsCaughtInDebugBuilds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEBUG_DEATH(
        {
            JobEventQueue queue;
            JobThread thread(queue);
            thread.start([&] {
                while (!thread.cancel().stopRequested())
                    std::this_thread::sleep_for(1ms);
                return JobOutcome::Canceled;
            });
        },
        "destroyed on the thread that receives its events");
}

TEST(TempFile, EachIsNewPrivateAndGoneWhenItsOwnerIs) {
    test::TempDir dir;
    std::string error;
    std::optional<TempFile> first = TempFile::create(dir.path(), "Track 01", ".tmp", error);
    std::optional<TempFile> second = TempFile::create(dir.path(), "Track 01", ".tmp", error);
    ASSERT_TRUE(first && second) << error;
    EXPECT_NE(first->path(), second->path());
    EXPECT_EQ(first->path().parent_path(), dir.path());
    EXPECT_TRUE(first->path().filename().string().starts_with("Track 01."));
    EXPECT_EQ(first->path().extension(), ".tmp");
    struct stat info {};
    ASSERT_EQ(::stat(first->path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A stem at the file system's limit is shortened, never inside a character.
    std::string longStem;
    for (int i = 0; i < 200; ++i)
        longStem += "\xc3\xa4";
    std::optional<TempFile> longOne = TempFile::create(dir.path(), longStem, ".tmp", error);
    ASSERT_TRUE(longOne) << error;
    EXPECT_LE(longOne->path().filename().string().size(), 255u);

    const auto path = first->path();
    TempFile moved = std::move(*first);
    first.reset();
    EXPECT_TRUE(std::filesystem::exists(path)) << "the move keeps the file";
    moved.remove();
    EXPECT_FALSE(std::filesystem::exists(path));
    second.reset();
    longOne.reset();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    EXPECT_FALSE(TempFile::create(dir / "missing", "x", ".tmp", error));
    EXPECT_NE(error.find("Cannot create file: "), std::string::npos);
}

}  // namespace
}  // namespace tonalda
