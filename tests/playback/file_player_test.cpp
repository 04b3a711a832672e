// The file player and its wave-audio device against a real sound server: what reaches the output
// is recorded from the null sink's monitor and found in the file.

#include "playback/file_player.h"

#include <gtest/gtest.h>

#include <thread>

#include "convert/convert_list.h"
#include "platform/prompter.h"
#include "playback/pulse_connection.h"
#include "playback_support.h"
#include "support/temp_dir.h"

namespace tonalda::test {
namespace {

using namespace std::chrono_literals;
constexpr std::size_t kRate = 44100;

class FilePlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        soundServer();
        player_.setObserver(&observer_);
    }

    // A WAV file of distinct audio added to the list; returns its samples.
    std::vector<std::int16_t> addFile(const std::string& name, std::size_t frames,
                                      unsigned seed = 1) {
        std::vector<std::int16_t> samples = distinctAudio(frames, seed);
        writeWav(dir_ / name, samples);
        EXPECT_EQ(list_.addFiles({(dir_ / name).string()}, prompter_), 1);
        return samples;
    }

    TempDir dir_;
    RecordingPrompter prompter_;
    ConvertList list_;
    FilePlayer player_{list_, prompter_};
    RecordingObserver observer_;
};

TEST_F(FilePlayerTest, PlayingSendsTheWholeFileToTheOutputAndTheClockEndsIt) {
    const std::vector<std::int16_t> source = addFile("one second.wav", kRate);
    MonitorRecorder recorder(dir_ / "played.raw");
    player_.play(std::nullopt);
    ASSERT_TRUE(player_.playing()) << prompter_.texts().front();
    EXPECT_EQ(player_.statusArea(), (StatusArea{"PLAY", "one second.wav", "00:00 / 00:01"}));
    EXPECT_EQ(observer_.timer, std::vector<bool>{true});
    std::this_thread::sleep_for(1500ms);
    const std::vector<std::int16_t> played = recorder.stop();

    const std::size_t at = firstSoundFrame(played);
    const std::optional<std::size_t> from = sourceFrameOf(source, played, at);
    ASSERT_TRUE(from) << "the recording holds no stretch of the file";
    // Recording starts as the output wakes up: the first few milliseconds may be missed.
    EXPECT_LT(*from, kRate / 4);
    EXPECT_EQ(matchingFrames(source, *from, played, at), kRate - *from)
        << "the file did not reach the output unchanged to its end";
    EXPECT_EQ(soundFrames(played), kRate - *from) << "something else was played";

    player_.tick();
    EXPECT_TRUE(player_.playing());
    EXPECT_EQ(player_.seekPosition(), 10000);
    EXPECT_EQ(player_.statusArea().times, "00:01 / 00:01");
    player_.tick();
    EXPECT_FALSE(player_.playing());
    EXPECT_FALSE(player_.device().isOpen());
    EXPECT_EQ(player_.statusArea(), (StatusArea{"STOP", "", ""}));
    EXPECT_EQ(observer_.timer, (std::vector<bool>{true, false}));
    EXPECT_TRUE(prompter_.texts().empty());
}

TEST_F(FilePlayerTest, PauseStopsTheFlowAndResumeGoesOnWhereItStopped) {
    const std::vector<std::int16_t> source = addFile("three seconds.wav", 3 * kRate);
    MonitorRecorder throughout(dir_ / "throughout.raw");
    player_.play(std::nullopt);
    ASSERT_TRUE(player_.playing());
    std::this_thread::sleep_for(500ms);

    // The buttons and the clock while paused are the players' shared part, tested with the CD
    // player; here the sound must stop.
    player_.togglePause();
    EXPECT_EQ(player_.statusArea().state, "PAUSE");
    std::this_thread::sleep_for(100ms);
    const std::uint64_t pausedAt = player_.device().positionSamples();
    {
        MonitorRecorder duringPause(dir_ / "pause.raw");
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(soundFrames(duringPause.stop()), 0u) << "sound flowed while paused";
    }
    EXPECT_EQ(player_.device().positionSamples(), pausedAt);
    EXPECT_GT(pausedAt, kRate / 4);

    player_.togglePause();
    std::this_thread::sleep_for(500ms);
    player_.stop();
    const std::vector<std::int16_t> played = throughout.stop();

    // Before the pause and after it: the file in one piece, nothing skipped or heard twice, with
    // silence between.
    const std::size_t at = firstSoundFrame(played);
    const std::optional<std::size_t> from = sourceFrameOf(source, played, at);
    ASSERT_TRUE(from);
    const std::size_t before = matchingFrames(source, *from, played, at);
    const std::size_t resumedAt = firstSoundFrame(played, at + before);
    EXPECT_GT(resumedAt - (at + before), kRate / 4) << "no silence while paused";
    const std::size_t after = matchingFrames(source, *from + before, played, resumedAt);
    EXPECT_GT(after, kRate / 4) << "the resumed play is not the file from where it paused";
    EXPECT_EQ(before + after, soundFrames(played));
}

TEST_F(FilePlayerTest, SeekToTheEndPlaysTheLastPartAndTheNextTickStops) {
    const std::size_t frames = 3 * kRate + kRate / 2;
    const std::vector<std::int16_t> source = addFile("seek.wav", frames);
    MonitorRecorder recorder(dir_ / "seek.raw");
    player_.play(std::nullopt);
    std::this_thread::sleep_for(200ms);
    player_.seek(10000);
    EXPECT_EQ(player_.elapsedSeconds(), 3);
    EXPECT_EQ(player_.seekPosition(), 10000);
    EXPECT_EQ(player_.statusArea().times, "00:03 / 00:03");
    std::this_thread::sleep_for(900ms);
    const std::vector<std::int16_t> played = recorder.stop();

    // The last half second, from 3 s on, reached the output whole; the middle never did.
    std::size_t at = 0;
    while (2 * at < played.size() && matchingFrames(source, 3 * kRate, played, at) < 64)
        ++at;
    ASSERT_LT(2 * at, played.size()) << "the part after the seek point was not played";
    EXPECT_EQ(matchingFrames(source, 3 * kRate, played, at), frames - 3 * kRate);
    EXPECT_LT(soundFrames(played), frames - 3 * kRate + kRate / 2);

    player_.tick();
    EXPECT_FALSE(player_.playing());
    EXPECT_EQ(player_.seekPosition(), 0);
}

TEST_F(FilePlayerTest, DeviceStopSilencesAtOnceAndPlayStartsOverFromTheStart) {
    const std::vector<std::int16_t> source = distinctAudio(2 * kRate, 3);
    writeWav(dir_ / "device.wav", source);
    WavePlayer device;
    ASSERT_TRUE(device.open(dir_ / "device.wav")) << device.errorText();
    EXPECT_EQ(device.lengthSamples(), 2 * kRate);
    ASSERT_TRUE(device.play());
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(device.stop());
    {
        MonitorRecorder afterStop(dir_ / "stopped.raw");
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(soundFrames(afterStop.stop()), 0u);
    }
    MonitorRecorder again(dir_ / "again.raw");
    ASSERT_TRUE(device.play());
    std::this_thread::sleep_for(300ms);
    const std::vector<std::int16_t> played = again.stop();
    const std::optional<std::size_t> from = sourceFrameOf(source, played, firstSoundFrame(played));
    ASSERT_TRUE(from);
    EXPECT_LT(*from, kRate / 10);
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.positionSamples(), 0u);
}

TEST_F(FilePlayerTest, FileWithoutAudioStopsAtTheFirstTick) {
    writeWav(dir_ / "empty.wav", {});
    ASSERT_EQ(list_.addFiles({(dir_ / "empty.wav").string()}, prompter_), 1);
    player_.play(0);
    ASSERT_TRUE(player_.playing());
    EXPECT_EQ(player_.statusArea(), (StatusArea{"PLAY", "empty.wav", "00:00 / 00:00"}));
    player_.tick();
    EXPECT_FALSE(player_.playing());
    ASSERT_FALSE(observer_.states.empty());
    EXPECT_EQ(observer_.states.back().seekPosition, 0);
    EXPECT_TRUE(prompter_.texts().empty());
}

TEST_F(FilePlayerTest, PreviousAndNextMoveThroughTheListAndStayAtItsEnds) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        addFile(name, kRate / 10);
    auto playingFile = [&] { return player_.device().path().filename().string(); };

    player_.play(1);
    EXPECT_EQ(playingFile(), "b.wav");
    player_.next();
    EXPECT_EQ(playingFile(), "c.wav");
    player_.tick();
    player_.next();  // the last row plays again, from its start
    EXPECT_EQ(playingFile(), "c.wav");
    EXPECT_EQ(player_.elapsedSeconds(), 0);
    EXPECT_EQ(player_.statusArea().title, "c.wav");
    player_.previous();
    player_.previous();
    player_.previous();
    EXPECT_EQ(playingFile(), "a.wav");
    EXPECT_EQ(player_.currentRow(), 0);
    EXPECT_TRUE(player_.playing());

    // Without a selection Play takes the current row; a current row removed from the list
    // leaves the last one.
    player_.play(2);
    ASSERT_TRUE(list_.removeRows({1, 2}, prompter_));
    player_.play(std::nullopt);
    EXPECT_EQ(playingFile(), "a.wav");
    EXPECT_TRUE(prompter_.texts().empty());
}

TEST_F(FilePlayerTest, FailuresShowTheDeviceTextAndLeaveThePlayerStopped) {
    WavePlayer device;
    EXPECT_FALSE(device.play());
    EXPECT_EQ(device.errorText(), "No WAV file is open.");

    addFile("good.wav", 2 * kRate);
    writeFile(dir_ / "notes.wav", "these are no samples");
    ASSERT_EQ(list_.addFiles({(dir_ / "notes.wav").string()}, prompter_), 1);
    player_.play(0);
    ASSERT_TRUE(player_.playing());
    player_.next();  // the second file cannot be played: the first one does not go on either
    EXPECT_FALSE(player_.playing());
    EXPECT_FALSE(player_.device().isOpen());
    EXPECT_FALSE(player_.timerRunning());
    EXPECT_EQ(player_.statusArea().state, "STOP");
    ASSERT_EQ(prompter_.prompts().size(), 1u);
    EXPECT_EQ(prompter_.texts()[0], (dir_ / "notes.wav").string() + ": not a WAV file");
    EXPECT_EQ(prompter_.prompts()[0].icon, PromptIcon::Error);

    // No sound server at all: the same, with the reason, and without waiting for one.
    const ScopedPulseServer nowhere("unix:" + (dir_ / "no-server").string());
    EXPECT_FALSE(probeSoundServer().available);
    FilePlayer withoutServer(list_, prompter_);
    withoutServer.play(0);
    EXPECT_FALSE(withoutServer.playing());
    ASSERT_EQ(prompter_.prompts().size(), 2u);
    EXPECT_EQ(prompter_.texts()[1], "Sound server unavailable: Connection refused");
    EXPECT_EQ(probeSoundServer().reason, prompter_.texts()[1]);
}

}  // namespace
}  // namespace tonalda::test
