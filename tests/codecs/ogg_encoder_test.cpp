// The Ogg Vorbis encoder over libvorbisenc, its output checked with ogginfo, vorbiscomment and
// ffprobe.

#include "codecs/ogg_encoder.h"

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"
#include "codecs/ogg_settings.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "platform/cancel_token.h"
#include "support/recording_progress.h"

namespace tonalda {
namespace {

namespace fs = std::filesystem;
using test::probe;
using test::quoted;
using test::runCommand;
using test::TempDir;
using test::writeToneWav;

class OggEncoderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.Stereo = 1;
        settings.VBR = 1;
        settings.Quality = 40;
    }

    // Encodes a WAV file as the jobs do: input positioned after the header, both files owned
    // here. Returns what encodeStream returned, or nullopt when beginStream failed.
    std::optional<bool> encode(const fs::path& wav, const fs::path& ogg, const TagInfo* tags,
                               ProgressSink* notify) {
        UniqueFile in = openFile(wav, "rb");
        UniqueFile out = openFile(ogg, "wb");
        std::fseek(in.get(), 44, SEEK_SET);
        std::optional<bool> finished;
        if (encoder.beginStream(out.get(), tags))
            finished = encoder.encodeStream(in.get(), out.get(), notify, cancel);
        encoder.endStream();
        return finished;
    }

    TempDir dir;
    OggSettings settings;
    OggEncoder encoder{settings};
    test::RecordingProgress sink;
    CancelToken cancel;
};

TEST_F(OggEncoderTest, StereoQualityModeWithComments) {
    settings.Album = settings.Artist = settings.Title = settings.Track = settings.Year = 1;
    settings.Comment = 0;
    settings.Composer = settings.URL = 1;  // stored only
    TagInfo tags;
    tags.isV1 = 0;
    tags.Album2 = "Näher";
    tags.Artist2 = "Tè日";
    tags.Title2 = "Song";
    tags.Track2 = "7";
    tags.Year2 = "";  // written although empty
    tags.Album1 = "wrong set";
    tags.Composer = "nobody";

    writeToneWav(dir / "in.wav", 2 * 44100);
    ASSERT_EQ(encode(dir / "in.wav", dir / "out.ogg", &tags, &sink), std::optional(true));

    const auto check = runCommand("ogginfo " + quoted(dir / "out.ogg"));
    EXPECT_EQ(check.status, 0) << check.output;
    const auto comments = runCommand("vorbiscomment -l " + quoted(dir / "out.ogg"));
    EXPECT_EQ(comments.output, "ALBUM=Näher\nARTIST=Tè日\nTITLE=Song\nTRACK=7\nYEAR=\n");
    auto fields = probe(dir / "out.ogg");
    EXPECT_EQ(fields["codec_name"], "vorbis");
    EXPECT_EQ(fields["sample_rate"], "44100");
    EXPECT_EQ(fields["channels"], "2");
    EXPECT_NEAR(std::stod(fields["duration"]), 2.0, 0.05);

    // One message per 4096-byte read, the end-of-file reads included; the header is not
    // counted, so the last is just under 1000.
    const auto progress = sink.values();
    ASSERT_GE(progress.size(), 2 * 44100 * 4 / 4096u);
    EXPECT_EQ(progress.back(), 999);
    EXPECT_EQ(progress[0], 4096 * 1000 / (2 * 44100 * 4 + 44));
}

TEST_F(OggEncoderTest, VersionOneFieldsAndNoTagRecord) {
    settings.Title = settings.Comment = 1;
    TagInfo tags;
    tags.isV1 = 1;
    tags.Title1 = "One";
    tags.Comment1 = "c1";
    tags.Title2 = "Two";
    writeToneWav(dir / "in.wav", 10000);
    ASSERT_EQ(encode(dir / "in.wav", dir / "v1.ogg", &tags, &sink), std::optional(true));
    EXPECT_EQ(runCommand("vorbiscomment -l " + quoted(dir / "v1.ogg")).output,
              "COMMENT=c1\nTITLE=One\n");
    ASSERT_EQ(encode(dir / "in.wav", dir / "none.ogg", nullptr, &sink), std::optional(true));
    EXPECT_EQ(runCommand("vorbiscomment -l " + quoted(dir / "none.ogg")).output, "");
}

TEST_F(OggEncoderTest, ManagedModeWithDefaultPositions) {
    settings.VBR = 0;
    settings.Minrate = settings.Normrate = settings.Maxrate = 0;
    UniqueFile out = openFile(dir / "managed.ogg", "wb");
    ASSERT_TRUE(encoder.beginStream(out.get(), nullptr));
    EXPECT_EQ(encoder.info().bitrate_nominal, 128000);
    EXPECT_EQ(encoder.info().bitrate_upper, -1);
    EXPECT_EQ(encoder.info().bitrate_lower, -1);
    encoder.endStream();

    settings.Normrate = 4;
    settings.Maxrate = 7;
    out = openFile(dir / "managed2.ogg", "wb");
    ASSERT_TRUE(encoder.beginStream(out.get(), nullptr));
    EXPECT_EQ(encoder.info().bitrate_nominal, 64000);
    EXPECT_EQ(encoder.info().bitrate_upper, 128000);
    encoder.endStream();
}

TEST_F(OggEncoderTest, OneChannelGetsTheMeanOfBoth) {
    // Neither button, and a stereo value other than 1 from a hand-edited hive: one channel, not
    // a third one of whatever the analysis buffer held.
    for (const std::int32_t stereo : {0, 2, -1}) {
        SCOPED_TRACE(stereo);
        settings.Stereo = stereo;
        settings.Mono = 0;
        // Left and right cancel out: the mean is silence, either channel alone would be loud.
        test::writeOpposedWav(dir / "opposed.wav", 44100);
        ASSERT_EQ(encode(dir / "opposed.wav", dir / "mono.ogg", nullptr, &sink),
                  std::optional(true));
        EXPECT_EQ(probe(dir / "mono.ogg")["channels"], "1");
        const auto samples = test::decode(dir / "mono.ogg");
        ASSERT_GT(samples.size(), 40000u);
        EXPECT_LT(samples.size(), 50000u);
        EXPECT_LT(test::peak(samples), 200);
    }
}

TEST_F(OggEncoderTest, ChosenSampleRateResamplesAndKeepsLengthAndPitch) {
    writeToneWav(dir / "in.wav", 3 * 44100);
    for (const auto& [position, rate] : {std::pair{5, 22050}, std::pair{7, 32000}}) {
        SCOPED_TRACE(rate);
        settings.Samplerate = position;
        const fs::path ogg = dir / ("r" + std::to_string(rate) + ".ogg");
        test::RecordingProgress progress;
        ASSERT_EQ(encode(dir / "in.wav", ogg, nullptr, &progress), std::optional(true));
        EXPECT_EQ(runCommand("ogginfo " + quoted(ogg)).status, 0);
        test::expectSameAudioAt(ogg, rate, 3.0, {1000, 440});
        // Still one message per 4096 bytes read, the last just under 1000.
        const auto messages = progress.values();
        EXPECT_GE(messages.size(), 3 * 44100 * 4 / 4096u);
        EXPECT_EQ(messages.back(), 999);
    }

    // Short inputs: the resampler's filter is drained at the end, stray bytes are dropped.
    writeToneWav(dir / "empty.wav", 0);
    ASSERT_EQ(encode(dir / "empty.wav", dir / "empty.ogg", nullptr, &sink), std::optional(true));
    const auto empty = runCommand("ogginfo " + quoted(dir / "empty.ogg"));
    EXPECT_NE(empty.output.find("Logical stream 1 ended"), std::string::npos) << empty.output;
    EXPECT_EQ(empty.output.find("EOS not set"), std::string::npos) << empty.output;
    writeToneWav(dir / "short.wav", 1023, 3);
    ASSERT_EQ(encode(dir / "short.wav", dir / "short.ogg", nullptr, &sink), std::optional(true));
    const auto decoded = runCommand("oggdec -Q -R -o - " + quoted(dir / "short.ogg"), false);
    EXPECT_NEAR(static_cast<double>(decoded.output.size()), 1023 * 32000 / 44100 * 4, 8);

    // One channel at a lower rate: the mean of both, resampled. Opposed channels cancel out.
    settings.Stereo = 0;
    settings.Samplerate = 4;  // 16000 Hz
    test::writeSameToneWav(dir / "same.wav", 2 * 44100, 1000);
    ASSERT_EQ(encode(dir / "same.wav", dir / "mono.ogg", nullptr, &sink), std::optional(true));
    test::expectSameAudioAt(dir / "mono.ogg", 16000, 2.0, {1000});
    test::writeOpposedWav(dir / "opposed.wav", 44100);
    ASSERT_EQ(encode(dir / "opposed.wav", dir / "silent.ogg", nullptr, &sink), std::optional(true));
    EXPECT_LT(test::peak(test::decode(dir / "silent.ogg")), 200);
}

TEST_F(OggEncoderTest, HeaderOnlyInputAndAPartialFrame) {
    writeToneWav(dir / "empty.wav", 0);
    ASSERT_EQ(encode(dir / "empty.wav", dir / "empty.ogg", nullptr, &sink), std::optional(true));
    // Headers, then a last page with the end-of-stream mark and no audio.
    const auto check = runCommand("ogginfo " + quoted(dir / "empty.ogg"));
    EXPECT_NE(check.output.find("Vorbis headers parsed"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("Logical stream 1 ended"), std::string::npos) << check.output;
    EXPECT_EQ(check.output.find("EOS not set"), std::string::npos) << check.output;

    // 1023 frames and 3 stray bytes: the stray bytes are dropped.
    writeToneWav(dir / "short.wav", 1023, 3);
    ASSERT_EQ(encode(dir / "short.wav", dir / "short.ogg", nullptr, &sink), std::optional(true));
    const auto decoded = runCommand("oggdec -Q -R -o - " + quoted(dir / "short.ogg"), false);
    EXPECT_EQ(decoded.output.size(), 1023u * 4);
}

TEST_F(OggEncoderTest, CancelLeavesTheStreamUnfinished) {
    writeToneWav(dir / "in.wav", 3 * 44100);
    test::RecordingProgress cancelling([this](int value) {
        if (value > 200)
            cancel.requestStop();
    });
    ASSERT_EQ(encode(dir / "in.wav", dir / "cut.ogg", nullptr, &cancelling), std::optional(false));
    const auto check = runCommand("ogginfo " + quoted(dir / "cut.ogg"));
    EXPECT_NE(check.output.find("EOS not set"), std::string::npos) << check.output;

    // The next file starts cleanly.
    cancel.reset();
    ASSERT_EQ(encode(dir / "in.wav", dir / "next.ogg", nullptr, &sink), std::optional(true));
    EXPECT_EQ(runCommand("ogginfo " + quoted(dir / "next.ogg")).status, 0);
}

TEST_F(OggEncoderTest, RefusedSetupWritesNothing) {
    settings.Samplerate = 42;  // off the list: rate 0
    UniqueFile out = openFile(dir / "refused.ogg", "wb");
    EXPECT_FALSE(encoder.beginStream(out.get(), nullptr));
    EXPECT_NE(encoder.lastSetupResult(), 0);
    encoder.endStream();
    out.reset();
    EXPECT_EQ(fs::file_size(dir / "refused.ogg"), 0u);

    // The same encoder serves the next file.
    settings.Samplerate = 9;
    writeToneWav(dir / "in.wav", 4096);
    ASSERT_EQ(encode(dir / "in.wav", dir / "ok.ogg", nullptr, &sink), std::optional(true));
    EXPECT_EQ(probe(dir / "ok.ogg")["sample_rate"], "48000");
}

}  // namespace
}  // namespace tonalda
