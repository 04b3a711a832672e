// The rip job with several encoder workers: the same files as with one worker, encodings that
// overlap the next extraction, a bound on waiting temporary files, cancel at three moments, a read
// error with tracks still being encoded, and outputs that take their final names only when done.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "codecs/output_format.h"
#include "rip/rip_job.h"
#include "rip/rip_job_fixture.h"

namespace tonalda {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kTrackFrames[] = {300, 260, 200, 220, 180};
// Drive 0: five audio tracks. Drive 1: the same disc with a block of track 3 that never reads.
const std::string kDisc =
    "gen:seed 33/track audio 300/track audio 260/track audio 200/track audio 220"
    "/track audio 180";
// Drive 2: a disc whose last track is long, so that it is still being encoded when the others
// are done.
const std::string kLongLastTrack =
    "gen:seed 34/track audio 300/track audio 260/track audio 200/track audio 220"
    "/track audio 4500";
// Drive 1: two long tracks, then a block of track 3 that never reads, met while the first two are
// still being encoded.
const std::string kLongFirstTracks =
    "gen:seed 35/track audio 3000/track audio 3000/track audio 200/track audio 220"
    "/track audio 180";
// Drive 3: a first track three times as long as the next two, so that it is still being encoded
// while the second is encoded and the third read (reading is much faster than encoding).
const std::string kLongFirstTrack =
    "gen:seed 36/track audio 9000/track audio 3000/track audio 3000/track audio 220"
    "/track audio 180";
const std::string kDrives = kDisc + ",noaudio;" + kLongFirstTracks + ",noaudio,fail=6040-6040;" +
                            kLongLastTrack + ",noaudio;" + kLongFirstTrack + ",noaudio";

// The rows' statuses as the job posts them, for handlers that act (or wait) on a state of the
// whole list. Events are handed over on the posting thread, so a handler runs inside the stage
// that posted: waiting there holds that stage.
class RowWatch {
  public:
    using Rows = std::map<int, RowStatus>;

    // The handler of a JobView delivering on the posting thread.
    void record(const JobNotice& notice) {
        if (const auto* status = std::get_if<RowStatusChanged>(&notice.event)) {
            std::lock_guard lock(mutex_);
            rows_[status->row] = status->status;
            changed_.notify_all();
        }
    }
    // Waits until `state` holds for the rows; false after 20 s.
    bool waitFor(const std::function<bool(const Rows&)>& state) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return state(rows_); });
    }
    // A mark the test sets (the stop it requested), which waiters may look at.
    void raiseFlag() {
        std::lock_guard lock(mutex_);
        flag_ = true;
        changed_.notify_all();
    }
    bool flag() const { return flag_.load(); }
    Rows rows() const {
        std::lock_guard lock(mutex_);
        return rows_;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Rows rows_;
    std::atomic<bool> flag_{false};
};

int countOf(const RowWatch::Rows& rows, RowStatus status) {
    int count = 0;
    for (const auto& [row, shown] : rows)
        count += shown == status;
    return count;
}

bool is(const RowWatch::Rows& rows, int row, RowStatus status) {
    const auto found = rows.find(row);
    return found != rows.end() && found->second == status;
}

// An encoding progress of a row, the event a handler holds an encoder at.
std::optional<int> encodingRow(const JobNotice& notice) {
    const auto* progress = std::get_if<RowProgress>(&notice.event);
    if (progress && progress->activity == RowActivity::Encoding)
        return progress->row;
    return std::nullopt;
}

// The bytes of an Ogg stream with each page's serial number and checksum blanked: the serial is
// chosen anew for every stream, so two encodings of the same audio differ only there.
std::string withoutOggSerials(std::string bytes) {
    for (std::size_t at = bytes.find("OggS"); at != std::string::npos && at + 27 <= bytes.size();
         at = bytes.find("OggS", at + 4)) {
        for (std::size_t i = 14; i < 18; ++i)
            bytes[at + i] = 0;  // stream serial number
        for (std::size_t i = 22; i < 26; ++i)
            bytes[at + i] = 0;  // CRC
    }
    return bytes;
}

class RipPipeline : public test::RipJobTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 4);
        installDefaults();
        options_.workers = 2;
    }

    std::filesystem::path output(int track, std::string_view extension) const {
        char name[32];
        std::snprintf(name, sizeof name, "Track %02d", track);
        return options_.ripFolder / (name + std::string(extension));
    }

    // Rips every track of the drive's disc with the handler run on the posting thread.
    // `running` points at the job while it runs, for handlers that stop it; `watch` follows the
    // rows' statuses ahead of the handler.
    void rip(int unit, const test::JobView::Handler& handler, RipJob*& running,
             RowWatch* watch = nullptr) {
        TrackList list(*engine_);
        loadDisc(list, unit);
        test::JobView view(test::JobView::Delivery::OnPostingThread, handler);
        if (watch)
            view.setObserver([watch](const JobNotice& notice) { watch->record(notice); });
        RipJob job(*engine_, registry_, prompter_, view.events());
        running = &job;
        ASSERT_TRUE(job.start(list, options_));
        view.follow(job);
        statuses_ = statuses(job);
        outcome_ = view.finished();
        succeeded_ = job.succeeded();
        running = nullptr;
    }
    void rip(int unit, const test::JobView::Handler& handler = {}, RowWatch* watch = nullptr) {
        RipJob* running = nullptr;
        rip(unit, handler, running, watch);
    }

    std::vector<std::string> statuses_;
    std::optional<JobOutcome> outcome_;
    bool succeeded_ = false;
};

TEST_F(RipPipeline, SeveralWorkersMakeTheSameFilesAsOne) {
    for (const std::int32_t format : {1, 2, 3}) {
        const std::string extension(outputFormatExtension(format));
        SCOPED_TRACE(extension);
        options_.format = format;
        std::map<int, std::string> alone;
        for (const int workers : {1, 3}) {
            options_.workers = workers;
            options_.ripFolder = dir_ / ("rip" + std::to_string(workers));
            rip(0);
            EXPECT_EQ(statuses_, std::vector<std::string>(5, "Encoded"));
            ASSERT_TRUE(succeeded_);
            EXPECT_TRUE(prompter_.texts().empty());
            for (int track = 1; track <= 5; ++track) {
                std::string bytes = test::readFile(output(track, extension));
                if (format == 3)
                    bytes = withoutOggSerials(bytes);
                if (workers == 1)
                    alone[track] = bytes;
                else
                    EXPECT_TRUE(bytes == alone[track]) << "track " << track << " differs";
            }
        }
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    }
}

// Track 1 is held in its encoding until track 2 is being read; the rows show both at once. Slow
// encoders let the drive run ahead only as far as the places for waiting tracks allow.
TEST_F(RipPipeline, EncodingOverlapsTheNextExtractionAndWaitingTracksAreBounded) {
    options_.format = 1;
    RowWatch watch;
    std::mutex mutex;
    bool overlapSeen = false;
    std::size_t mostTemporaryFiles = 0;
    int finishedWhenTrack4Began = -1;
    rip(
        0,
        [&](const JobNotice& notice) {
            {
                std::lock_guard lock(mutex);
                mostTemporaryFiles = std::max(mostTemporaryFiles, filesIn(dir_ / "temp").size());
            }
            const auto* status = std::get_if<RowStatusChanged>(&notice.event);
            if (status && status->row == 3 && status->status == RowStatus::Extracting)
                finishedWhenTrack4Began = countOf(watch.rows(), RowStatus::Encoded);
            // Track 2's reading waits until track 1 is being encoded, and track 1's encoder
            // until track 2's reading has seen it, whatever the order the threads run in.
            const auto* progress = std::get_if<RowProgress>(&notice.event);
            if (progress && progress->row == 1 && progress->activity == RowActivity::Extracting &&
                !watch.flag()) {
                overlapSeen = watch.waitFor(
                    [](const RowWatch::Rows& rows) { return is(rows, 0, RowStatus::Encoding); });
                watch.raiseFlag();
            }
            const auto row = encodingRow(notice);
            if (row == 0)
                watch.waitFor([&](const RowWatch::Rows&) { return watch.flag(); });
            if (row)
                std::this_thread::sleep_for(2ms);  // encoders slower than the drive
        },
        &watch);
    EXPECT_TRUE(overlapSeen) << "track 2 was not read while track 1 was encoded";
    EXPECT_EQ(statuses_, std::vector<std::string>(5, "Encoded"));
    EXPECT_LE(mostTemporaryFiles, 3u) << "two workers: at most three tracks wait on the disk";
    EXPECT_GE(finishedWhenTrack4Began, 1) << "track 4 was read before a place was free";
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
}

// Cancel while the first track is read, while two tracks encode and a third is read, and while
// the last one encodes: the rows done stay, the others end Canceled, and nothing partial or
// temporary remains.
TEST_F(RipPipeline, CancelAtThreeMomentsLeavesOnlyFinishedFiles) {
    options_.format = 1;
    struct Moment {
        const char* name;
        int finishedTracks;
    };
    for (const Moment moment : {Moment{"first extraction", 0}, Moment{"two encode, one reads", 0},
                                Moment{"last encoding", 4}}) {
        SCOPED_TRACE(moment.name);
        std::filesystem::remove_all(dir_ / "rip");
        RowWatch watch;
        RipJob* running = nullptr;
        const std::string name = moment.name;
        rip(
            name == "last encoding"           ? 2
            : name == "two encode, one reads" ? 3
                                              : 0,
            [&](const JobNotice& notice) {
                const RowWatch::Rows rows = watch.rows();
                const auto* progress = std::get_if<RowProgress>(&notice.event);
                if (name == "first extraction") {
                    if (progress && progress->row == 0 && running)
                        running->requestStop();
                } else if (name == "two encode, one reads") {
                    // The long first track and the second are still being encoded when the third is
                    // read. Nothing waits here: a handler runs on whichever stage drained the
                    // event.
                    if (is(rows, 0, RowStatus::Encoding) && is(rows, 1, RowStatus::Encoding) &&
                        is(rows, 2, RowStatus::Extracting) && running && !watch.flag()) {
                        running->requestStop();
                        watch.raiseFlag();
                    }
                } else if (countOf(rows, RowStatus::Encoded) == 4 &&
                           is(rows, 4, RowStatus::Encoding) && running && !watch.flag()) {
                    // The long last track encodes alone: the others have finished. Nothing waits
                    // here, as this handler may run on the thread of any stage.
                    running->requestStop();
                    watch.raiseFlag();
                }
            },
            running, &watch);
        std::vector<std::string> expected(5, "Canceled");
        std::vector<std::filesystem::path> files;
        for (int track = 1; track <= moment.finishedTracks; ++track) {
            expected[static_cast<std::size_t>(track - 1)] = "Encoded";
            files.push_back(output(track, ".mp3"));
        }
        EXPECT_EQ(statuses_, expected);
        EXPECT_EQ(outcome_, JobOutcome::Canceled);
        EXPECT_EQ(filesIn(dir_ / "rip"), files) << "no partial file under any name";
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    }
}

// A read error in track 3 of 5 while tracks 1 and 2 are still being encoded: their audio was read
// whole, so they are finished; track 3 and the ones after it end "Error".
TEST_F(RipPipeline, AReadErrorInTrack3FinishesTheTracksReadBeforeIt) {
    options_.format = 1;
    const auto errorShown = [this] {
        for (const std::string& text : prompter_.texts())
            if (text.starts_with("Error at "))
                return true;
        return false;
    };
    // Nothing is held here: a handler runs on whichever stage drained the event, and holding the
    // reading stage would hold back the very error. Long first tracks keep their encoders busy.
    std::atomic<bool> encodingWhenTheErrorCame{false};
    rip(1, [&](const JobNotice& notice) {
        if (encodingRow(notice) && errorShown())
            encodingWhenTheErrorCame = true;
    });
    std::cout << "[ overlap  ] tracks 1 or 2 were still being encoded after the error: "
              << (encodingWhenTheErrorCame ? "yes" : "no") << "\n";
    EXPECT_EQ(statuses_,
              (std::vector<std::string>{"Encoded", "Encoded", "Error", "Error", "Error"}));
    EXPECT_EQ(outcome_, JobOutcome::Failed);
    EXPECT_EQ(prompter_.texts().size(), 1u);
    EXPECT_EQ(filesIn(dir_ / "rip"),
              (std::vector<std::filesystem::path>{output(1, ".mp3"), output(2, ".mp3")}));
    for (int track = 1; track <= 2; ++track)
        EXPECT_NEAR(std::stod(test::probe(output(track, ".mp3"))["duration"]), 3000 / 75.0, 0.1);
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
}

// While a file is written, its final name still holds the older file of that name, which a
// cancel leaves as it was; a finished file replaces it. Every format, WAV included.
TEST_F(RipPipeline, AnOutputTakesItsNameOnlyWhenComplete) {
    for (const std::int32_t format : {0, 1, 2, 3}) {
        const std::string extension(outputFormatExtension(format));
        SCOPED_TRACE(extension);
        options_.format = format;
        std::filesystem::remove_all(dir_ / "rip");
        std::filesystem::create_directories(dir_ / "rip");
        test::writeFile(output(1, extension), "an older file");
        test::writeFile(output(2, extension), "an older file");
        const RowActivity writing = format == 0 ? RowActivity::Extracting : RowActivity::Encoding;
        bool untouchedWhileWritten = false;
        RowWatch watch;
        RipJob* running = nullptr;
        rip(
            0,
            [&](const JobNotice& notice) {
                const auto* progress = std::get_if<RowProgress>(&notice.event);
                if (progress && progress->row == 1 && progress->activity == writing &&
                    progress->thousandths > 0 && running && !untouchedWhileWritten) {
                    // Track 1 is finished before the stop.
                    const RowStatus done = format == 0 ? RowStatus::Extracted : RowStatus::Encoded;
                    watch.waitFor([done](const RowWatch::Rows& all) { return is(all, 0, done); });
                    untouchedWhileWritten = test::readFile(output(2, extension)) == "an older file";
                    running->requestStop();
                }
            },
            running, &watch);
        EXPECT_TRUE(untouchedWhileWritten);
        EXPECT_EQ(statuses_[0], format == 0 ? "Extracted" : "Encoded");
        EXPECT_EQ(statuses_[1], "Canceled");
        EXPECT_NE(test::readFile(output(1, extension)), "an older file");
        EXPECT_EQ(test::readFile(output(2, extension)), "an older file");
        EXPECT_EQ(filesIn(dir_ / "rip"),
                  (std::vector<std::filesystem::path>{output(1, extension), output(2, extension)}))
            << "no partial file left under another name";
    }
}

}  // namespace
}  // namespace tonalda
