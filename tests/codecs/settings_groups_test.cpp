// The MP3, Ogg and WMA settings groups: load order and its stop at the first unreadable value,
// Apply's writes, and the round trip through the hive.

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"
#include "codecs/mp3_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"

namespace tonalda {
namespace {

using test::EncoderScratch;

TEST(Mp3SettingsTest, LoadStopsAtTheFirstMissingValue) {
    EncoderScratch scratch;
    scratch.setValues("MP3", {{"Copyright", 1},
                              {"CRC", 1},
                              {"Original", 1},
                              {"Private", 1},
                              {"ReSampleRate", 1},
                              {"VBRHeader", 1},
                              {"SampleRate", 9},
                              {"Mode", 3},
                              {"Preset", 22},
                              /* no BPreset */ {"CBR", 1}});
    Mp3Settings settings;
    settings.CBR = 5;
    EXPECT_FALSE(settings.load(scratch.registry()));
    EXPECT_EQ(settings.Mode, 3);
    EXPECT_EQ(settings.Preset, 22);
    EXPECT_EQ(settings.CBR, 5);  // after the missing value: untouched

    Mp3Settings absent;
    EncoderScratch empty;
    EXPECT_FALSE(absent.load(empty.registry()));
    EXPECT_EQ(absent, Mp3Settings{});
}

TEST(Mp3SettingsTest, ApplyKeepsTheStoredPresetOutsidePresetMode) {
    EncoderScratch scratch;
    scratch.setValues("MP3", {{"Preset", 22}});
    Mp3Settings settings;
    settings.CBR = 1;
    settings.BitRate = 17;
    settings.Preset = 3;  // not written: preset mode is off
    settings.ABRBitRate = mp3AbrBitRateFromSlider(kMp3AbrSliderMax);
    ASSERT_TRUE(settings.save(scratch.registry()));
    EXPECT_EQ(settings.Preset, 22);  // reloaded from the hive
    EXPECT_EQ(settings.ABRBitRate, 320000);
    EXPECT_EQ(settings.BPreset, 0);

    settings.BPreset = 1;
    settings.CBR = 0;
    settings.Preset = kMp3OldStylePresetBase + 9;  // "STUDIO"
    ASSERT_TRUE(settings.save(scratch.registry()));
    Mp3Settings reloaded;
    ASSERT_TRUE(reloaded.load(scratch.registry()));
    EXPECT_EQ(reloaded, settings);
    EXPECT_EQ(reloaded.Preset, 22);
    EXPECT_EQ(kMp3OldStylePresetItems[reloaded.Preset - kMp3OldStylePresetBase], "STUDIO");

    EXPECT_EQ(mp3AbrBitRateFromSlider(0), 8000);
    EXPECT_EQ(mp3AbrBitRateFromSlider(1), 8010);
    EXPECT_EQ(mp3AbrSliderFromBitRate(192000), 18400);
}

TEST(Mp3SettingsTest, SaveWithoutTheKeyFails) {
    EncoderScratch scratch;
    Mp3Settings settings;
    EXPECT_FALSE(settings.save(scratch.registry()));
}

TEST(OggSettingsTest, RoundTripAndLoadOrder) {
    EncoderScratch scratch;
    // Load order: ... Orgartist, Minrate, Samplerate, Maxrate, Stereo, ...
    scratch.setValues("OGG", {{"Copyright", 1},
                              {"Album", 1},
                              {"Artist", 0},
                              {"Comment", 1},
                              {"Composer", 0},
                              {"Encodedby", 1},
                              {"Title", 1},
                              {"Track", 0},
                              {"URL", 1},
                              {"Year", 1},
                              {"Orgartist", 0},
                              {"Minrate", 3},
                              {"Samplerate", 5},
                              {"Stereo", 1}});
    OggSettings settings;
    EXPECT_FALSE(settings.load(scratch.registry()));  // Maxrate is missing
    EXPECT_EQ(settings.Samplerate, 5);
    EXPECT_EQ(settings.Stereo, 0);

    settings.Maxrate = 11;
    settings.Normrate = 7;
    settings.Quality = 35;
    settings.VBR = 1;
    settings.Stereo = 1;
    ASSERT_TRUE(settings.save(scratch.registry()));
    OggSettings reloaded;
    ASSERT_TRUE(reloaded.load(scratch.registry()));
    EXPECT_EQ(reloaded, settings);
}

TEST(OggSettingsTest, TablesAndQualityText) {
    EXPECT_EQ(oggSampleRate(0), 44100);
    EXPECT_EQ(oggSampleRate(5), 22050);
    EXPECT_EQ(oggSampleRate(10), 0);
    EXPECT_EQ(oggLimitBitrate(0), -1);
    EXPECT_EQ(oggNominalBitrate(0), 128000);
    EXPECT_EQ(oggLimitBitrate(9), 196000);
    EXPECT_EQ(oggNominalBitrate(11), 350000);
    EXPECT_FLOAT_EQ(oggBaseQuality(0), 0.0f);
    EXPECT_FLOAT_EQ(oggBaseQuality(50), 0.5f);
    EXPECT_FLOAT_EQ(oggBaseQuality(100), 1.0f);
    std::array<char, 16> buffer{};
    EXPECT_EQ(oggQualityText(0, buffer), "0.0");
    EXPECT_EQ(oggQualityText(5, buffer), "0.5");
    EXPECT_EQ(oggQualityText(35, buffer), "3.5");
    EXPECT_EQ(oggQualityText(99, buffer), "9.9");
    EXPECT_EQ(oggQualityText(100, buffer), "10.0");
}

TEST(WmaSettingsTest, RoundTripAndWriterFormats) {
    EncoderScratch scratch;
    scratch.setValues("WMA", {{"Copyright", 0}});
    WmaSettings settings;
    settings.Mono = 1;
    settings.Stereo = 0;
    settings.Year = 1;
    settings.Bitrate = 4;
    settings.Samplerate = 5;
    ASSERT_TRUE(settings.save(scratch.registry()));
    WmaSettings reloaded;
    ASSERT_TRUE(reloaded.load(scratch.registry()));
    EXPECT_EQ(reloaded, settings);
    EXPECT_EQ(reloaded.channels(), 1u);
    EXPECT_EQ(reloaded.bitrate(), 128000u);
    EXPECT_EQ(reloaded.sampleRate(), 22050u);

    reloaded.Stereo = 1;
    reloaded.Samplerate = 0;
    EXPECT_EQ(reloaded.channels(), 2u);
    EXPECT_EQ(reloaded.sampleRate(), 44100u);
    EXPECT_EQ(wmaBitrate(0), 48000u);
    EXPECT_EQ(wmaBitrate(5), 160000u);
    EXPECT_EQ(wmaSampleRate(9), 48000u);
}

}  // namespace
}  // namespace tonalda
