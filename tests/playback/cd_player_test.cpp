// The CD player on the virtual drive. The player's clock is driven by calling tick(); the drive's
// play position runs in real time and is read back with READ SUB-CHANNEL.

#include "playback/cd_player.h"

#include <gtest/gtest.h>

#include <thread>

#include "cdaccess/cdrom_settings.h"
#include "playback_support.h"
#include "rip/track_list.h"
#include "support/vdrive_fixture.h"

namespace tonalda::test {
namespace {

using namespace std::chrono_literals;

// Tracks of 5, 12 and 7 seconds: 00:02:00, 00:07:00, 00:19:00, lead-out 00:26:00 (LBA 0, 375,
// 1275, 1800).
constexpr const char* kDisc = "gen:seed 5/track audio 0:05/track audio 0:12/track audio 0:07";

class CdPlayerTest : public VirtualDriveTest {
  protected:
    void load(const std::string& disc) {
        startEngine(disc + ",noaudio");
        tracks_ = std::make_unique<TrackList>(*engine_);
        ASSERT_EQ(tracks_->rebuild(drives_, CdRomSettings{}, 0), 1);
        player_ = std::make_unique<CdPlayer>(*engine_, *tracks_);
        player_->setObserver(&observer_);
    }
    void TearDown() override {
        player_.reset();
        tracks_.reset();
        VirtualDriveTest::TearDown();
    }

    SubChannelPosition drive() {
        SubChannelPosition position;
        EXPECT_EQ(engine_->readSubChannel(tracks_->sessionHandle(), position), 1);
        return position;
    }
    // Where the drive plays now: at most a second past `lba`.
    void expectDriveNear(std::int32_t lba) {
        const SubChannelPosition position = drive();
        EXPECT_EQ(position.audioStatus, AudioStatus::Playing);
        EXPECT_GE(position.absoluteLba, lba);
        EXPECT_LT(position.absoluteLba, lba + 75);
    }
    // Waits until the drive's play ends; its last position.
    SubChannelPosition driveAfterItsPlay() {
        SubChannelPosition position = drive();
        for (int i = 0; i < 300 && position.audioStatus == AudioStatus::Playing; ++i) {
            std::this_thread::sleep_for(10ms);
            position = drive();
        }
        return position;
    }
    void tick(int times) {
        for (int i = 0; i < times; ++i)
            player_->tick();
    }

    std::unique_ptr<TrackList> tracks_;
    std::unique_ptr<CdPlayer> player_;
    RecordingObserver observer_;
};

TEST_F(CdPlayerTest, PlayWithoutSelectionStartsAtTheFirstTrackAndTheClockRunsToTheLeadOut) {
    load(kDisc);
    player_->setDriveDescription("ACME     CD-1000          v2.5  (0:0:0)");
    player_->play(std::nullopt);
    expectDriveNear(0);
    EXPECT_EQ(drive().trackNumber, 1);
    const TransportState playing = player_->state();
    EXPECT_TRUE(playing.playing && playing.pauseEnabled && playing.stopEnabled &&
                playing.nextEnabled && playing.previousEnabled && playing.seekEnabled);
    EXPECT_EQ(playing.status, (StatusArea{"PLAY", "Track 01", "00:01 / 00:05"}));
    EXPECT_EQ(player_->elapsedSeconds(), 3);
    EXPECT_EQ(observer_.timer, std::vector<bool>{true});

    tick(3);
    EXPECT_EQ(player_->statusArea(), (StatusArea{"PLAY", "Track 01", "00:04 / 00:05"}));
    EXPECT_EQ(player_->seekPosition(), 8000);
    ASSERT_FALSE(observer_.states.empty());
    EXPECT_EQ(observer_.states.back(), player_->state());
    tick(2);  // 00:08, one second into track 2
    EXPECT_EQ(player_->currentTrack(), 2);
    EXPECT_EQ(player_->statusArea(), (StatusArea{"PLAY", "Track 02", "00:01 / 00:12"}));
    EXPECT_EQ(player_->seekPosition(), 833);
    // A title found by a lookup shows at once.
    tracks_->setColumnText(1, kColumnTitle, "Lookup title");
    EXPECT_EQ(player_->statusArea().title, "Lookup title");
    // The seek slider held by the user holds the clock.
    player_->holdTimer();
    tick(1);
    EXPECT_EQ(player_->elapsedSeconds(), 8);
    player_->releaseTimer();

    tick(18);  // 00:26, the last second of track 3
    EXPECT_TRUE(player_->playing());
    EXPECT_EQ(player_->statusArea().times, "00:07 / 00:07");
    EXPECT_EQ(player_->seekPosition(), 10000);
    tick(1);  // past the lead-out
    EXPECT_FALSE(player_->playing());
    EXPECT_EQ(player_->seekPosition(), 0);
    EXPECT_EQ(player_->elapsedSeconds(), 0);
    EXPECT_EQ(player_->statusArea(), (StatusArea{"STOP", "ACME     CD-1000          v2.5", ""}));
    EXPECT_EQ(observer_.timer, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(drive().audioStatus, AudioStatus::None) << "the drive was not stopped";
    const TransportState stopped = player_->state();
    EXPECT_FALSE(stopped.pauseEnabled || stopped.stopEnabled || stopped.nextEnabled ||
                 stopped.previousEnabled || stopped.seekEnabled);
}

TEST_F(CdPlayerTest, PlayRunsTheDriveToTheLeadOut) {
    // Tracks of 15 frames: the drive reaches the lead-out in 0.4 s. They are shorter than a
    // second, so the clock gives them no seek fraction and ends at its first tick.
    load("gen:seed 1/track audio 15/track audio 15");
    player_->play(std::nullopt);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(drive().trackNumber, 2) << "the play ended with the first track";
    SubChannelPosition end = driveAfterItsPlay();
    EXPECT_EQ(end.audioStatus, AudioStatus::Completed);
    EXPECT_EQ(end.absoluteLba, 29);
    tick(1);
    EXPECT_FALSE(player_->playing());
    EXPECT_EQ(player_->seekPosition(), 0);
}

TEST_F(CdPlayerTest, PreviousAndNextPlayOneTrack) {
    // Tracks of one second: 00:02-00:03, 00:03-00:04, 00:04-00:05.
    load("gen:seed 1/track audio 0:01/track audio 0:01/track audio 0:01");
    player_->play(std::nullopt);
    player_->previous();
    SubChannelPosition end = driveAfterItsPlay();
    EXPECT_EQ(end.audioStatus, AudioStatus::Completed);
    EXPECT_EQ(end.absoluteLba, 74) << "Previous did not stop at the end of track 1";
    player_->next();
    EXPECT_EQ(drive().trackNumber, 2);
    end = driveAfterItsPlay();
    EXPECT_EQ(end.audioStatus, AudioStatus::Completed);
    EXPECT_EQ(end.absoluteLba, 149) << "Next did not stop at the end of track 2";
}

TEST_F(CdPlayerTest, NextOnTheLastTrackAndPreviousOnTheFirstPlayThemAgain) {
    load(kDisc);
    player_->play(2);
    expectDriveNear(1275);
    player_->seek(5000);  // three of track 3's seven seconds
    expectDriveNear(1500);
    EXPECT_EQ(player_->statusArea().times, "00:03 / 00:07");
    EXPECT_EQ(player_->seekPosition(), 5000);
    player_->next();
    expectDriveNear(1275);
    EXPECT_EQ(player_->statusArea(), (StatusArea{"PLAY", "Track 03", "00:01 / 00:07"}));
    EXPECT_EQ(player_->seekPosition(), 0);
    player_->previous();
    expectDriveNear(375);
    EXPECT_EQ(player_->currentTrack(), 2);

    player_->play(std::nullopt);
    player_->seek(5000);
    expectDriveNear(150);
    player_->previous();
    expectDriveNear(0);
    EXPECT_EQ(player_->statusArea(), (StatusArea{"PLAY", "Track 01", "00:01 / 00:05"}));
    player_->next();
    expectDriveNear(375);

    // A seek after Next plays on to where the last Play ended: the lead-out.
    player_->seek(10000);
    expectDriveNear(1275);
    EXPECT_EQ(player_->currentTrack(), 2);
}

TEST_F(CdPlayerTest, PausingDisablesNextPreviousAndSeekUntilResumed) {
    load(kDisc);
    player_->play(1);
    tick(2);
    player_->togglePause();
    const TransportState paused = player_->state();
    EXPECT_TRUE(paused.paused && paused.pauseEnabled && paused.stopEnabled);
    EXPECT_FALSE(paused.nextEnabled || paused.previousEnabled || paused.seekEnabled);
    EXPECT_EQ(paused.status.state, "PAUSE");
    EXPECT_EQ(observer_.timer, (std::vector<bool>{true, false}));
    const SubChannelPosition held = drive();
    EXPECT_EQ(held.audioStatus, AudioStatus::Paused);

    tick(1);
    player_->seek(9000);
    EXPECT_EQ(player_->elapsedSeconds(), 10);
    EXPECT_EQ(drive().audioStatus, AudioStatus::Paused);
    EXPECT_EQ(drive().absoluteLba, held.absoluteLba);

    player_->togglePause();
    const TransportState resumed = player_->state();
    EXPECT_TRUE(resumed.nextEnabled && resumed.previousEnabled && resumed.seekEnabled);
    EXPECT_EQ(resumed.status.state, "PLAY");
    EXPECT_EQ(observer_.timer, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(drive().audioStatus, AudioStatus::Playing);
    tick(1);
    EXPECT_EQ(player_->elapsedSeconds(), 11);

    // Next from a pause (a view's menu can send it) plays, and the clock runs again.
    player_->togglePause();
    player_->next();
    EXPECT_FALSE(player_->paused());
    EXPECT_TRUE(player_->timerRunning());
    expectDriveNear(1275);
    tick(1);
    EXPECT_EQ(player_->elapsedSeconds(), 21);

    player_->stop();
    EXPECT_EQ(drive().audioStatus, AudioStatus::None);
    player_->togglePause();  // nothing to pause
    EXPECT_FALSE(player_->paused());
    EXPECT_EQ(drive().audioStatus, AudioStatus::None);
}

}  // namespace
}  // namespace tonalda::test
