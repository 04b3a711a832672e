// Staged runs of the job runner (one stage on the job's thread, the other on a pool of workers):
// how rows end when a stage fails or is stopped while others are still worked on; and output
// files that get their final name only when complete. The overlap of the stages and the bound on
// waiting entries are shown by the rip job's tests with real audio.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/job_event_queue.h"
#include "platform/job_runner.h"
#include "platform/partial_file.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

using namespace std::chrono_literals;
using R = EntryResult;
using S = RowStatus;

std::vector<RowStatus> statusesOf(const JobRunner& runner) {
    std::vector<RowStatus> statuses;
    for (const RunnerEntry& entry : runner.entries())
        statuses.push_back(entry.status);
    return statuses;
}

// Runs `staged` over `rows` entries to its end; the notices the receiver got.
std::vector<JobNotice> runToEnd(JobRunner& runner, JobEventQueue& queue, int rows,
                                const StagedWork& staged,
                                const std::function<void(const JobNotice&)>& seen = {}) {
    std::vector<int> rowList;
    for (int row = 0; row < rows; ++row)
        rowList.push_back(row);
    EXPECT_TRUE(runner.start(rowList, [&] { return runner.runStaged(staged); }));
    std::vector<JobNotice> notices;
    deliverUntilFinished(queue, runner.id(), [&](const JobNotice& n) {
        notices.push_back(n);
        if (seen)
            seen(n);
    });
    return notices;
}

// Rows end as their stages end. Entries 0 and 1 are in their second stage while entry 2's first
// stage ends as scripted; the second stages wait for it, so the case is the same on every run.
TEST(StagedRun, RowsEndAsTheirStagesEndWhileOthersAreStillWorkedOn) {
    struct Case {
        const char* name;
        R thirdFirst;    // the first stage of entry 2
        R secondOf1;     // the second stage of entry 1
        bool cancelAt2;  // entry 2's first stage requests the stop before it ends
        std::vector<S> statuses;
        JobOutcome outcome;
    };
    const Case cases[] = {
        {"all good", R::Handed, R::Complete, false, std::vector<S>(5, S::Encoded),
         JobOutcome::Finished},
        {"extraction error in entry 2: handed entries are finished",
         R::Failed,
         R::Complete,
         false,
         {S::Encoded, S::Encoded, S::Error, S::Error, S::Error},
         JobOutcome::Failed},
        {"encoder failure in entry 1: the job goes on",
         R::Handed,
         R::Incomplete,
         false,
         {S::Encoded, S::Error, S::Encoded, S::Encoded, S::Encoded},
         JobOutcome::Finished},
        {"a second stage that fails stops the first before the next entry",
         R::Handed,
         R::Failed,
         false,
         {S::Encoded, S::Error, S::Encoded, S::Error, S::Error},
         JobOutcome::Failed},
        {"cancel while entry 2 is read and 0 and 1 encode", R::Stopped, R::Complete, true,
         std::vector<S>(5, S::Canceled), JobOutcome::Canceled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobEventQueue queue;
        JobRunner runner(queue);
        std::mutex mutex;
        std::condition_variable changed;
        bool thirdDone = false;
        bool secondOf1Done = false;
        StagedWork staged;
        staged.workers = 2;
        staged.inFlight = 3;
        staged.first = [&](EntryWork& work, std::size_t index) {
            work.setStatus(S::Extracting);
            if (index != 2)
                return R::Handed;
            // Entries 0 and 1 are with the workers now.
            if (c.cancelAt2)
                runner.requestStop();
            {
                std::lock_guard lock(mutex);
                thirdDone = true;
            }
            changed.notify_all();
            return c.thirdFirst;
        };
        staged.second = [&](EntryWork& work, std::size_t index) {
            work.setStatus(S::Encoding);
            // Entry 1 ends right after entry 2's first stage, entry 0 after entry 1.
            if (index < 2) {
                std::unique_lock lock(mutex);
                EXPECT_TRUE(changed.wait_for(
                    lock, 10s, [&] { return index == 1 ? thirdDone : secondOf1Done; }));
            }
            const R result = work.stopRequested() ? R::Stopped
                             : index == 1         ? c.secondOf1
                                                  : R::Complete;
            if (result == R::Complete)
                work.setStatus(S::Encoded);
            return result;
        };
        runToEnd(runner, queue, 5, staged, [&](const JobNotice& n) {
            const auto* finished = std::get_if<EntryFinished>(&n.event);
            if (finished && finished->row == 1) {
                std::lock_guard lock(mutex);
                secondOf1Done = true;
                changed.notify_all();
            }
        });
        EXPECT_EQ(statusesOf(runner), c.statuses);
        EXPECT_EQ(runner.outcome(), c.outcome);
    }
}

TEST(PartialFile, TheFinalNameAppearsOnlyWhenCommittedWithTheModeOfANewOrReplacedFile) {
    test::TempDir dir;
    const auto target = dir / "Track 01.mp3";
    std::string error;
    {
        std::optional<PartialFile> partial = PartialFile::create(target, error);
        ASSERT_TRUE(partial) << error;
        EXPECT_EQ(partial->path().parent_path(), dir.path()) << "same folder: rename stays cheap";
        EXPECT_TRUE(partial->path().filename().string().starts_with(".Track 01.mp3."));
        test::writeFile(partial->path(), "audio");
        EXPECT_FALSE(std::filesystem::exists(target));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "an uncommitted file goes";

    const mode_t mask = ::umask(027);
    std::optional<PartialFile> fresh = PartialFile::create(target, error);
    ::umask(mask);
    ASSERT_TRUE(fresh) << error;
    test::writeFile(fresh->path(), "first");
    ASSERT_TRUE(fresh->commit(error)) << error;
    EXPECT_EQ(test::readFile(target), "first");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "0666 less the umask, as a new file";

    // A replaced file lends its permissions; an older file stays whole until the commit.
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    std::optional<PartialFile> again = PartialFile::create(target, error);
    ASSERT_TRUE(again) << error;
    test::writeFile(again->path(), "second");
    EXPECT_EQ(test::readFile(target), "first");
    ASSERT_TRUE(again->commit(error));
    EXPECT_EQ(test::readFile(target), "second");
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // A name that cannot be taken: said with the final name, nothing left behind.
    std::filesystem::create_directory(dir / "Track 02.mp3");
    std::optional<PartialFile> blocked = PartialFile::create(dir / "Track 02.mp3", error);
    ASSERT_TRUE(blocked);
    EXPECT_FALSE(blocked->commit(error));
    EXPECT_TRUE(
        error.starts_with("Cannot write the output file " + (dir / "Track 02.mp3").string()))
        << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    EXPECT_FALSE(PartialFile::create(dir / "missing" / "x.mp3", error));
    EXPECT_TRUE(error.starts_with("Cannot create the output file ")) << error;

    // A final name at the file system's limit still gets a temporary name beside it.
    const auto longest = dir / std::string(255, 'x');
    std::optional<PartialFile> longOne = PartialFile::create(longest, error);
    ASSERT_TRUE(longOne) << error;
    ASSERT_TRUE(longOne->commit(error)) << error;
    EXPECT_TRUE(std::filesystem::exists(longest));
}

}  // namespace
}  // namespace tonalda
