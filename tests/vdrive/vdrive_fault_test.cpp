// Injected faults: jitter, failing ranges, refused and silent commands, media change, speed, and
// the drive's own play commands.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "vdrive_harness.h"

using namespace vdrive_test;

namespace {

constexpr uint32_t kFrame = 2352;

// Twenty seconds of known bytes as a BIN image.
class ImageDrive : public ::testing::Test {
  protected:
    void SetUp() override {
        image = randomBytes(1500 * kFrame, 9);
        writeFile(folder / "disc.bin", image);
        writeText(folder / "disc.cue",
                  "FILE \"disc.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n");
    }
    std::string cue(const std::string& keys = "") const {
        return (folder / "disc.cue").string() + keys;
    }
    // The image bytes starting `shift` bytes from frame `lba`, zeros beyond the disc.
    std::vector<uint8_t> expected(int32_t lba, uint32_t frames, int shift) const {
        std::vector<uint8_t> bytes(frames * kFrame, 0);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const int64_t at = static_cast<int64_t>(lba) * kFrame + shift + static_cast<int64_t>(i);
            if (at >= 0 && at < static_cast<int64_t>(image.size())) {
                bytes[i] = image[static_cast<size_t>(at)];
            }
        }
        return bytes;
    }
    TempFolder folder;
    std::vector<uint8_t> image;
};

TEST_F(ImageDrive, JitteredReadsHoldTheImageShiftedByTheReportedAmount) {
    Module module(cue(",jitter=300,seed=42"));
    std::set<int> shifts;
    bool sawOdd = false;
    for (int i = 0; i < 60; ++i) {
        const int32_t lba = i == 0 ? 0 : i == 1 ? 1474 : (i * 97) % 1400;
        const Reply reply = module.exec(readCd(lba, 26), 26 * kFrame);
        ASSERT_TRUE(reply.good());
        const int shift = module.lastJitter(0, 0, 0);
        ASSERT_LE(std::abs(shift), 300);
        ASSERT_TRUE(reply.data == expected(lba, 26, shift)) << "read " << i << " shift " << shift;
        shifts.insert(shift);
        sawOdd = sawOdd || (shift % 2 != 0);
    }
    EXPECT_GT(shifts.size(), 30u) << "each read shifts anew";
    EXPECT_TRUE(sawOdd);

    // The same seed gives the same shifts.
    Module again(cue(",jitter=300,seed=42"));
    Module other(cue(",jitter=300,seed=43"));
    std::vector<int> first, replay, otherSeed;
    for (int i = 0; i < 10; ++i) {
        first.push_back((module.exec(readCd(100, 1), kFrame), module.lastJitter(0, 0, 0)));
        replay.push_back((again.exec(readCd(100, 1), kFrame), again.lastJitter(0, 0, 0)));
        otherSeed.push_back((other.exec(readCd(100, 1), kFrame), other.lastJitter(0, 0, 0)));
    }
    EXPECT_NE(first, replay) << "the first module has read 60 times already";
    Module fresh(cue(",jitter=300,seed=42"));
    std::vector<int> fromStart;
    for (int i = 0; i < 10; ++i) {
        fromStart.push_back((fresh.exec(readCd(100, 1), kFrame), fresh.lastJitter(0, 0, 0)));
    }
    EXPECT_EQ(replay, fromStart) << "the same seed gives the same shifts";
    EXPECT_NE(replay, otherSeed);
}

TEST_F(ImageDrive, FailingRangesFailAlwaysOrTheFirstNTimes) {
    Module module(cue(",fail=100-109;") + cue(",addr=0:1:0,fail=200-200x2"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Reply reply = module.exec(readCd(90, 11), 11 * kFrame);
        EXPECT_EQ(reply.returned, SS_ERR);
        EXPECT_EQ(reply.sense().key, 3);
        EXPECT_EQ(reply.sense().asc, 0x11);
    }
    EXPECT_TRUE(module.exec(readCd(90, 10), 10 * kFrame).good()) << "frame 99 does not touch";
    EXPECT_TRUE(module.exec(readCd(110, 10), 10 * kFrame).good());
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(module.exec(readCd(190, 26), 26 * kFrame, 0, 1).sense().asc, 0x11);
    }
    const Reply third = module.exec(readCd(190, 26), 26 * kFrame, 0, 1);
    ASSERT_TRUE(third.good());
    EXPECT_TRUE(third.data == expected(190, 26, 0));
}

TEST_F(ImageDrive, RefusedAndSilentCommands) {
    Module module(cue(",refuse=BE,28,silent=D8"));
    Reply reply = module.exec(readCd(0, 1), kFrame);
    EXPECT_EQ(reply.sense().key, 5);
    EXPECT_EQ(reply.sense().asc, 0x20);
    reply = module.exec({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, kFrame);
    EXPECT_EQ(reply.sense().asc, 0x20);
    reply = module.exec({0xD8, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0}, 2 * kFrame);
    EXPECT_EQ(reply.returned, SS_COMP) << "silent commands claim success";
    EXPECT_EQ(reply.transferred(), 0u);
    EXPECT_TRUE(
        std::all_of(reply.data.begin(), reply.data.end(), [](uint8_t b) { return b == 0xAA; }));
    EXPECT_TRUE(module.exec({0xD4, 0, 0, 0, 0, 0, 0, 0, 1, 0}, kFrame).good());
}

TEST_F(ImageDrive, AMediaChangeIsReportedOnceAtTheConfiguredCommand) {
    Module module(cue(",change=3"));
    const std::vector<uint8_t> ready{0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(module.exec(ready, 0).good());
    EXPECT_TRUE(module.exec({0x12, 0, 0, 0, 36, 0}, 36).good()) << "INQUIRY is not counted";
    EXPECT_TRUE(module.exec(ready, 0).good());
    const Reply change = module.exec(readCd(0, 1), kFrame);
    EXPECT_EQ(change.sense().key, 6);
    EXPECT_EQ(change.sense().asc, 0x28);
    EXPECT_TRUE(module.exec(readCd(0, 1), kFrame).good());
}

TEST_F(ImageDrive, SpeedLimitHoldsReadsBackAndSetCdSpeedLowersIt) {
    using Clock = std::chrono::steady_clock;
    Module module(cue(",speed=30"));
    auto begin = Clock::now();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(module.exec(readCd(i * 25, 25), 25 * kFrame).good());
    }
    // 75 frames at 30x take at least a thirtieth of a second.
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(33));
    ASSERT_TRUE(module.exec({0xBB, 0, 0x02, 0xC1, 0, 0, 0, 0, 0, 0, 0, 0}, 0).good());  // 705 KB/s
    begin = Clock::now();
    ASSERT_TRUE(module.exec(readCd(0, 75), 75 * kFrame).good());
    EXPECT_GE(Clock::now() - begin, std::chrono::milliseconds(240)) << "SET CD SPEED 4x";
}

TEST_F(ImageDrive, PlayPauseResumeAndStopShowInTheSubChannel) {
    Module module(cue(",noaudio"));
    const std::vector<uint8_t> position{0x42, 0x02, 0x40, 0x01, 0, 0, 0, 0, 16, 0};
    auto status = [&] { return module.exec(position, 16); };
    EXPECT_EQ(status().data[1], 0x15) << "no play yet";
    EXPECT_EQ(module.exec({0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0).sense().asc, 0x2C)
        << "nothing to pause";

    // 00:04:00 .. 00:19:00 is LBA 150 .. 1275.
    ASSERT_TRUE(module.exec({0x47, 0, 0, 0, 4, 0, 0, 17, 0, 0}, 0).good());
    Reply reply = status();
    EXPECT_EQ(reply.data[1], 0x11);
    EXPECT_EQ(reply.data[3], 12);
    EXPECT_EQ(reply.data[6], 1) << "track 1";
    EXPECT_EQ(reply.data[9], 0);
    EXPECT_EQ(reply.data[10], 4) << "at second 4 of the disc";

    ASSERT_TRUE(module.exec({0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0).good());
    const Reply paused = status();
    EXPECT_EQ(paused.data[1], 0x12);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(std::equal(paused.data.begin() + 8, paused.data.end(), status().data.begin() + 8))
        << "a paused drive holds its position";
    ASSERT_TRUE(module.exec({0x4B, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0).good());
    EXPECT_EQ(status().data[1], 0x11);

    ASSERT_TRUE(module.exec({0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0).good());
    EXPECT_EQ(status().data[1], 0x15);

    // Ranges the drive cannot play.
    EXPECT_EQ(module.exec({0x47, 0, 0, 0, 10, 0, 0, 5, 0, 0}, 0).sense().asc, 0x24) << "backwards";
    EXPECT_EQ(module.exec({0x47, 0, 0, 0, 4, 0, 0, 30, 0, 0}, 0).sense().asc, 0x21)
        << "past the end";

    // A play that reaches its end is reported completed once.
    ASSERT_TRUE(module.exec({0x47, 0, 0, 0, 2, 0, 0, 2, 3, 0}, 0).good());
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    reply = status();
    EXPECT_EQ(reply.data[1], 0x13);
    EXPECT_EQ(reply.data[11], 2) << "it stopped at the last frame before the end address";
    EXPECT_EQ(status().data[1], 0x15);
}

TEST_F(ImageDrive, PlayingToTheSoundServerStartsAndStopsCleanly) {
    // With a sound server the range streams to it; without one the drive plays silently. Either
    // way the commands answer at once and the stream ends with the play.
    Module module(cue());
    ASSERT_TRUE(module.exec({0x47, 0, 0, 0, 2, 0, 0, 10, 0, 0}, 0).good());
    ASSERT_TRUE(module.exec({0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0).good());
    ASSERT_TRUE(module.exec({0x4B, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0).good());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(module.exec({0x47, 0, 0, 0, 5, 0, 0, 9, 0, 0}, 0).good()) << "a new range";
    EXPECT_TRUE(module.exec({0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0).good());
    EXPECT_EQ(module.exec({0x42, 0x02, 0x40, 0x01, 0, 0, 0, 0, 16, 0}, 16).data[1], 0x15);
}

}  // namespace
