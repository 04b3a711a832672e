// The MP3 encoder with the real LAME module (outputs checked with ffprobe) and with stand-in
// modules that record the calls and fail on request.

#include "codecs/mp3_encoder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/broken/fake_lame_state.h"
#include "codecs/codec_test_support.h"
#include "codecs/mp3_settings.h"
#include "codecs/output_name.h"
#include "platform/cancel_token.h"
#include "platform/prompter.h"
#include "support/recording_progress.h"

namespace tonalda {
namespace {

namespace fs = std::filesystem;
using test::EncoderScratch;
using test::probe;
using test::readFile;
using test::testModuleDir;
using test::writeToneWav;

constexpr std::uint32_t kOneSecond = 44100;

// The MP3 values the installer writes, as a starting point.
std::vector<std::pair<std::string, std::uint32_t>> installedMp3Values() {
    return {{"Copyright", 0},    {"CRC", 0},       {"Original", 1},      {"Private", 0},
            {"ReSampleRate", 0}, {"VBRHeader", 1}, {"SampleRate", 0},    {"Mode", 1},
            {"Preset", 6},       {"BPreset", 0},   {"CBR", 0},           {"CBitResorvoir", 0},
            {"BitRate", 14},     {"VBR", 1},       {"VBRQuality", 2},    {"MinBitRate", 0},
            {"MaxBitRate", 13},  {"ABR", 0},       {"ABitResorvoir", 0}, {"ABRBitRate", 192000}};
}

void useCbr(EncoderScratch& scratch, std::uint32_t bitRatePosition, std::uint32_t vbrHeader) {
    scratch.setValues("MP3", installedMp3Values());
    scratch.setValues(
        "MP3", {{"CBR", 1}, {"VBR", 0}, {"BitRate", bitRatePosition}, {"VBRHeader", vbrHeader}});
}

// The first frame of an MP3 file carries a Xing or Info tag.
bool hasXingOrInfoFrame(const fs::path& file) {
    const std::string head = readFile(file).substr(0, 200);
    return head.find("Xing") != std::string::npos || head.find("Info") != std::string::npos;
}

FakeLameState& fakeState(const fs::path& folder) {
    // The encoder loaded the module already: this load finds the same instance.
    void* handle = dlopen((folder / "lame_enc.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(handle, nullptr) << dlerror();
    auto get = reinterpret_cast<FakeLameStateFunction>(dlsym(handle, "fakeLameState"));
    FakeLameState& state = *get();
    dlclose(handle);
    return state;
}

class Mp3EncoderTest : public ::testing::Test {
  protected:
    EncoderScratch scratch;
    RecordingPrompter prompter;
    test::RecordingProgress sink;
    CancelToken cancel;
};

TEST(Mp3TablesTest, ListPositionsMapToWhatLameReceives) {
    EXPECT_EQ(mp3SampleRate(0), 44100u);  // "Default"
    EXPECT_EQ(mp3SampleRate(8), 44100u);
    EXPECT_EQ(mp3SampleRate(9), 48000u);
    EXPECT_EQ(mp3SampleRate(22050), 22050u);  // beyond the list: taken as Hz
    EXPECT_EQ(mp3ConstantBitrate(0), 8u);
    EXPECT_EQ(mp3ConstantBitrate(17), 320u);
    EXPECT_EQ(mp3ConstantBitrate(18), 18u);
    EXPECT_EQ(mp3VbrBitrate(0), 32u);
    EXPECT_EQ(mp3VbrBitrate(13), 320u);
    EXPECT_EQ(mp3VbrBitrate(14), 14u);

    EXPECT_EQ(mp3PresetNumber(0), LQP_LOW_QUALITY);
    EXPECT_EQ(mp3PresetNumber(1), LQP_NORMAL_QUALITY);
    EXPECT_EQ(mp3PresetNumber(3), LQP_VERYHIGH_QUALITY);
    EXPECT_EQ(mp3PresetNumber(4), LQP_VOICE_QUALITY);
    EXPECT_EQ(mp3PresetNumber(12), LQP_CBR);
    EXPECT_EQ(mp3PresetNumber(13), LQP_PHONE);
    EXPECT_EQ(mp3PresetNumber(16), LQP_FM);
    EXPECT_EQ(mp3PresetNumber(17), LQP_VOICE);
    EXPECT_EQ(mp3PresetNumber(22), LQP_STUDIO);
    EXPECT_EQ(mp3PresetNumber(23), LQP_STUDIO);
    EXPECT_EQ(mp3PresetNumber(24), 24);
}

TEST(Mp3OutputNameTest, LastFourCharactersGiveWayToTheExtension) {
    EXPECT_EQ(replaceLastFourCharacters("out/track.wav", ".mp3"), "out/track.mp3");
    EXPECT_EQ(replaceLastFourCharacters("out/track", ".mp3"), "out/t.mp3");
    EXPECT_EQ(replaceLastFourCharacters("abc", ".mp3"), ".mp3");
    // Characters, not bytes: the last four of "Tè日本語" are "è日本語".
    EXPECT_EQ(replaceLastFourCharacters("Tè日本語", ".mp3"), "T.mp3");
}

TEST_F(Mp3EncoderTest, ConfigurationFollowsTheModeFlags) {
    scratch.setValues("MP3", installedMp3Values());
    scratch.setValues("MP3", {{"Copyright", 1},
                              {"CRC", 1},
                              {"Private", 1},
                              {"Mode", 3},
                              {"SampleRate", 9},
                              {"VBR", 0},
                              {"BPreset", 1},
                              {"Preset", 22}});
    BE_CONFIG config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.dwConfig, 256u);
    EXPECT_EQ(config.dwStructVersion, 1u);
    EXPECT_EQ(config.dwStructSize, 331u);
    EXPECT_EQ(config.dwMpegVersion, 1u);
    EXPECT_EQ(config.bCopyright, 1);
    EXPECT_EQ(config.bCRC, 1);
    EXPECT_EQ(config.bPrivate, 1);
    EXPECT_EQ(config.bOriginal, 1);
    EXPECT_EQ(config.bWriteVBRHeader, 1);
    EXPECT_EQ(config.nMode, 3);
    // The input is CD audio; the chosen rate is the output's, resample switch or not.
    EXPECT_EQ(config.dwSampleRate, 44100u);
    EXPECT_EQ(config.dwReSampleRate, 48000u);
    EXPECT_EQ(config.nPreset, 10000);  // "STUDIO"
    EXPECT_EQ(config.bEnableVBR, 0);
    EXPECT_EQ(config.nVbrMethod, 0);

    scratch.setValues("MP3", {{"Preset", 16}});  // "FM"
    EXPECT_EQ(buildLameConfig(scratch.registry()).nPreset, 4000);

    scratch.setValues("MP3", {{"BPreset", 0}, {"CBR", 1}, {"BitRate", 11}, {"CBitResorvoir", 1}});
    config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.nPreset, -1);
    EXPECT_EQ(config.dwBitrate, 128u);
    EXPECT_EQ(config.dwMaxBitrate, 0u);
    EXPECT_EQ(config.bNoRes, 1);
    EXPECT_EQ(config.nVbrMethod, -1);
    EXPECT_EQ(config.bEnableVBR, 0);

    scratch.setValues(
        "MP3", {{"CBR", 0}, {"VBR", 1}, {"VBRQuality", 4}, {"MinBitRate", 2}, {"MaxBitRate", 10}});
    config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.dwBitrate, 48u);
    EXPECT_EQ(config.dwMaxBitrate, 192u);
    EXPECT_EQ(config.nVBRQuality, 4);
    EXPECT_EQ(config.nPreset, -1);
    EXPECT_EQ(config.nVbrMethod, 2);
    EXPECT_EQ(config.bEnableVBR, 1);
    EXPECT_EQ(config.bNoRes, 0);

    // ABR leaves the preset alone and, coming last, overrides the VBR method.
    scratch.setValues("MP3", {{"ABR", 1}, {"ABRBitRate", 8010}, {"ABitResorvoir", 1}});
    config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.dwVbrAbr_bps, 8010u);
    EXPECT_EQ(config.nVbrMethod, 4);
    EXPECT_EQ(config.bEnableVBR, 1);
    EXPECT_EQ(config.bNoRes, 1);
    EXPECT_EQ(config.nPreset, -1);

    scratch.setValues("MP3", {{"ReSampleRate", 1}, {"SampleRate", 5}});
    config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.dwSampleRate, 44100u);
    EXPECT_EQ(config.dwReSampleRate, 22050u);
    // At the CD's rate ("Default" or 44100 Hz) the switch keeps that rate on the output;
    // without it LAME decides.
    for (const std::uint32_t position : {0u, 8u}) {
        scratch.setValues("MP3", {{"SampleRate", position}, {"ReSampleRate", 1}});
        config = buildLameConfig(scratch.registry());
        EXPECT_EQ(config.dwSampleRate, 44100u);
        EXPECT_EQ(config.dwReSampleRate, 44100u);
        scratch.setValues("MP3", {{"ReSampleRate", 0}});
        config = buildLameConfig(scratch.registry());
        EXPECT_EQ(config.dwSampleRate, 44100u);
        EXPECT_EQ(config.dwReSampleRate, 0u);
    }
}

TEST_F(Mp3EncoderTest, NoModeFlagGivesTheZeroedRecordWithTheGeneralValues) {
    scratch.setValues("MP3", installedMp3Values());
    scratch.setValues("MP3", {{"VBR", 0}, {"Preset", 22}});
    const BE_CONFIG config = buildLameConfig(scratch.registry());
    EXPECT_EQ(config.nPreset, 0);
    EXPECT_EQ(config.dwBitrate, 0u);
    EXPECT_EQ(config.bEnableVBR, 0);
    EXPECT_EQ(config.nVbrMethod, 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&config);
    for (std::size_t i = offsetof(BE_CONFIG, nQuality); i < sizeof config; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_F(Mp3EncoderTest, CbrFileHasTheConfiguredStreamAndAnInfoTag) {
    useCbr(scratch, 11, 1);  // 128 kbit/s
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    ASSERT_TRUE(encoder.usable()) << ::testing::PrintToString(prompter.texts());
    EXPECT_EQ(encoder.version().byMajorVersion, 3);

    const fs::path input = scratch / "track01.tmp";
    writeToneWav(input, 3 * kOneSecond);
    const std::string before = readFile(input);
    fs::create_directory(scratch / "out");
    EXPECT_TRUE(encoder.encodeFile(input, &sink, cancel, scratch / "out"));

    const fs::path output = scratch / "out" / "track01.mp3";
    auto fields = probe(output);
    EXPECT_EQ(fields["codec_name"], "mp3");
    EXPECT_EQ(fields["sample_rate"], "44100");
    EXPECT_EQ(fields["channels"], "2");
    EXPECT_EQ(fields["bit_rate"], "128000");
    EXPECT_NEAR(std::stod(fields["duration"]), 3.0, 0.1);
    EXPECT_TRUE(hasXingOrInfoFrame(output));
    EXPECT_EQ(readFile(input), before);
    EXPECT_TRUE(prompter.texts().empty());

    // One progress message per chunk; the header is not counted, so the last is under 1000.
    const auto progress = sink.values();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.size(), (3 * kOneSecond * 4 + 4607) / 4608);
    EXPECT_EQ(progress.back(), 999);
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i], progress[i - 1]);
}

TEST_F(Mp3EncoderTest, ChosenSampleRateResamplesAndKeepsLengthAndPitch) {
    writeToneWav(scratch / "in.wav", 3 * kOneSecond);
    Mp3Encoder encoder(scratch.registry(), prompter);
    const struct {
        std::uint32_t position, rate, resample, vbr;
    } cases[] = {{5, 22050, 0, 0}, {7, 32000, 1, 0}, {1, 8000, 0, 1}, {9, 48000, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        useCbr(scratch, 11, 1);
        scratch.setValues("MP3", {{"SampleRate", c.position},
                                  {"ReSampleRate", c.resample},
                                  {"CBR", 1 - c.vbr},
                                  {"VBR", c.vbr}});
        encoder.loadEncoder();
        const fs::path base = scratch / ("r" + std::to_string(c.rate) + ".wav");
        EXPECT_TRUE(encoder.encodeFileTo(scratch / "in.wav", base.string(), &sink, cancel));
        test::expectSameAudioAt(replaceLastFourCharacters(base.string(), ".mp3"),
                                static_cast<int>(c.rate), 3.0, {1000, 440});
    }
    EXPECT_TRUE(prompter.texts().empty()) << prompter.texts()[0];
}

// The frame header bits of the first audio frame: CRC protection, private, copyright, original.
struct HeaderBits {
    bool crc, privateBit, copyright, original;
    bool operator==(const HeaderBits&) const = default;
};

HeaderBits firstFrameBits(const fs::path& file) {
    const std::string bytes = readFile(file);
    EXPECT_GE(bytes.size(), 4u);
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    EXPECT_EQ(byte(0), 0xFF);
    return {(byte(1) & 0x01) == 0, (byte(2) & 0x01) != 0, (byte(3) & 0x08) != 0,
            (byte(3) & 0x04) != 0};
}

TEST_F(Mp3EncoderTest, HeaderBitsReachTheFrames) {
    useCbr(scratch, 11, 0);
    writeToneWav(scratch / "in.wav", 10000);
    Mp3Encoder encoder(scratch.registry(), prompter);
    scratch.setValues("MP3", {{"Copyright", 1}, {"CRC", 1}, {"Original", 0}, {"Private", 1}});
    encoder.loadEncoder();
    EXPECT_TRUE(
        encoder.encodeFileTo(scratch / "in.wav", (scratch / "a.wav").string(), &sink, cancel));
    EXPECT_EQ(firstFrameBits(scratch / "a.mp3"), (HeaderBits{true, true, true, false}));
    scratch.setValues("MP3", {{"Copyright", 0}, {"CRC", 0}, {"Original", 1}, {"Private", 0}});
    encoder.loadEncoder();
    EXPECT_TRUE(
        encoder.encodeFileTo(scratch / "in.wav", (scratch / "b.wav").string(), &sink, cancel));
    EXPECT_EQ(firstFrameBits(scratch / "b.mp3"), (HeaderBits{false, false, false, true}));
}

// main_data_begin of every MPEG-1 layer III frame: how far each frame reaches back into the bit
// reservoir. Walks the frames by their headers; the file must start with a frame.
std::vector<int> reservoirUse(const fs::path& file) {
    static constexpr int kKbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                    112, 128, 160, 192, 224, 256, 320};
    static constexpr int kRates[] = {44100, 48000, 32000};
    const std::string bytes = readFile(file);
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::vector<int> uses;
    for (std::size_t at = 0; at + 6 < bytes.size();) {
        if (byte(at) != 0xFF || (byte(at + 1) & 0xFE) != 0xFA)  // MPEG-1 layer III
            break;
        const int kbps = kKbps[byte(at + 2) >> 4];
        const int rate = kRates[(byte(at + 2) >> 2) & 3];
        const std::size_t sideInfo = at + 4 + ((byte(at + 1) & 1) ? 0 : 2);
        uses.push_back(byte(sideInfo) << 1 | byte(sideInfo + 1) >> 7);
        at += 144 * kbps * 1000 / rate + ((byte(at + 2) >> 1) & 1);
    }
    return uses;
}

TEST_F(Mp3EncoderTest, BitrateSettingsShapeTheStream) {
    writeToneWav(scratch / "in.wav", 5 * kOneSecond);
    Mp3Encoder encoder(scratch.registry(), prompter);
    const auto encodeAs = [&](const std::string& name) {
        encoder.loadEncoder();
        EXPECT_TRUE(
            encoder.encodeFileTo(scratch / "in.wav", (scratch / name).string(), &sink, cancel));
        return scratch / replaceLastFourCharacters(name, ".mp3");
    };
    // The bit reservoir: used unless disabled.
    useCbr(scratch, 11, 0);
    const auto withReservoir = reservoirUse(encodeAs("res.wav"));
    scratch.setValues("MP3", {{"CBitResorvoir", 1}});
    const auto withoutReservoir = reservoirUse(encodeAs("nores.wav"));
    ASSERT_GT(withReservoir.size(), 150u);
    ASSERT_EQ(withoutReservoir.size(), withReservoir.size());
    EXPECT_GT(*std::max_element(withReservoir.begin(), withReservoir.end()), 0);
    EXPECT_EQ(*std::max_element(withoutReservoir.begin(), withoutReservoir.end()), 0);

    // VBR quality 0 spends more bits than 9; the ABR mean bitrate is met roughly.
    scratch.setValues(
        "MP3", {{"CBR", 0}, {"VBR", 1}, {"VBRQuality", 0}, {"MinBitRate", 0}, {"MaxBitRate", 13}});
    const auto best = fs::file_size(encodeAs("v0.wav"));
    scratch.setValues("MP3", {{"VBRQuality", 9}});
    const auto worst = fs::file_size(encodeAs("v9.wav"));
    EXPECT_GT(best, worst * 3 / 2);
    scratch.setValues("MP3", {{"VBR", 0}, {"ABR", 1}, {"ABRBitRate", 96000}});
    const double low = std::stod(probe(encodeAs("abr96.wav"))["bit_rate"]);
    scratch.setValues("MP3", {{"ABRBitRate", 192000}});
    const double high = std::stod(probe(encodeAs("abr192.wav"))["bit_rate"]);
    EXPECT_GT(high, low * 1.5);
}

TEST_F(Mp3EncoderTest, VbrHeaderSwitchDecidesTheXingFrame) {
    useCbr(scratch, 9, 0);
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    writeToneWav(scratch / "in.wav", kOneSecond);
    EXPECT_TRUE(
        encoder.encodeFileTo(scratch / "in.wav", (scratch / "plain.wav").string(), &sink, cancel));
    EXPECT_EQ(probe(scratch / "plain.mp3")["bit_rate"], "96000");
    EXPECT_FALSE(hasXingOrInfoFrame(scratch / "plain.mp3"));

    // VBR with the header: ffprobe reads the length from the Xing frame.
    scratch.setValues("MP3", {{"CBR", 0}, {"VBR", 1}, {"VBRHeader", 1}, {"Mode", 3}});
    encoder.loadEncoder();
    EXPECT_TRUE(
        encoder.encodeFileTo(scratch / "in.wav", (scratch / "vbr.wav").string(), &sink, cancel));
    EXPECT_TRUE(hasXingOrInfoFrame(scratch / "vbr.mp3"));
    auto fields = probe(scratch / "vbr.mp3");
    EXPECT_EQ(fields["channels"], "1");  // the Mono mode downmixes, it does not halve the speed
    EXPECT_NEAR(std::stod(fields["duration"]), 1.0, 0.1);
}

TEST_F(Mp3EncoderTest, PresetsReachLame) {
    scratch.setValues("MP3", installedMp3Values());
    writeToneWav(scratch / "in.wav", kOneSecond);
    Mp3Encoder encoder(scratch.registry(), prompter);
    const auto encodeWithPreset = [&](std::uint32_t stored) {
        scratch.setValues("MP3", {{"VBR", 0}, {"BPreset", 1}, {"Preset", stored}});
        encoder.loadEncoder();
        const fs::path base = scratch / ("p" + std::to_string(stored) + ".wav");
        EXPECT_TRUE(encoder.encodeFileTo(scratch / "in.wav", base.string(), &sink, cancel));
        return probe(replaceLastFourCharacters(base.string(), ".mp3"));
    };
    // "PHONE" is 16 kbit/s mono, "FM" 112 kbit/s and "STUDIO" 256 kbit/s, both stereo.
    auto phone = encodeWithPreset(13);
    auto fm = encodeWithPreset(16);
    auto studio = encodeWithPreset(22);
    EXPECT_EQ(phone["channels"], "1");
    EXPECT_LE(std::stoi(phone["sample_rate"]), 16000);
    EXPECT_LT(std::stoi(phone["bit_rate"]), 24000);
    EXPECT_EQ(fm["channels"], "2");
    EXPECT_EQ(studio["channels"], "2");
    EXPECT_LT(std::stoi(fm["bit_rate"]), std::stoi(studio["bit_rate"]));
    EXPECT_GT(std::stoi(fm["bit_rate"]), std::stoi(phone["bit_rate"]));
}

// Every new-style preset, read back by ffprobe: the CD's rate unless the preset is a low-bitrate
// one, and bitrates in the preset's range. "ABR" and "CBR" come without a rate in preset mode.
TEST_F(Mp3EncoderTest, EveryNewStylePresetGivesItsRateAndBitrate) {
    scratch.setValues("MP3", installedMp3Values());
    writeToneWav(scratch / "in.wav", 5 * kOneSecond);
    Mp3Encoder encoder(scratch.registry(), prompter);
    struct Expected {
        const char* name;
        int minRate;
        int channels;
        int minKbps;
        int maxKbps;
    };
    const Expected expected[] = {
        {"LOW QUALITY", 44100, 2, 128, 128},  {"NORMAL QUALITY", 44100, 2, 128, 128},
        {"HIGH QUALITY", 44100, 2, 128, 128}, {"VERYHIGH QUALITY", 44100, 2, 128, 128},
        {"VOICE QUALITY", 16000, 1, 24, 64},  {"R3MIX", 44100, 2, 40, 200},
        {"STANDARD", 44100, 2, 60, 260},      {"FAST STANDARD", 44100, 2, 60, 260},
        {"EXTREME", 44100, 2, 100, 320},      {"FAST_EXTREME", 44100, 2, 100, 320},
        {"INSANE", 44100, 2, 320, 320},       {"ABR", 44100, 2, 90, 150},
        {"CBR", 44100, 2, 128, 128}};
    for (std::uint32_t stored = 0; stored <= 12; ++stored) {
        const Expected& preset = expected[stored];
        SCOPED_TRACE(preset.name);
        scratch.setValues("MP3", {{"VBR", 0}, {"BPreset", 1}, {"Preset", stored}});
        encoder.loadEncoder();
        const fs::path base = scratch / ("preset" + std::to_string(stored) + ".wav");
        ASSERT_TRUE(encoder.encodeFileTo(scratch / "in.wav", base.string(), &sink, cancel));
        auto fields = probe(replaceLastFourCharacters(base.string(), ".mp3"));
        ASSERT_TRUE(fields.count("bit_rate") && fields.count("sample_rate"));
        const int rate = std::stoi(fields["sample_rate"]);
        EXPECT_GE(rate, preset.minRate);
        EXPECT_LE(rate, 44100);
        EXPECT_EQ(fields["channels"], std::to_string(preset.channels));
        const double kbps = std::stod(fields["bit_rate"]) / 1000;
        EXPECT_GE(kbps, preset.minKbps);
        EXPECT_LE(kbps, preset.maxKbps);
        EXPECT_NEAR(std::stod(fields["duration"]), 5.0, 0.1);
    }
}

TEST_F(Mp3EncoderTest, HeaderOnlyWavStillGivesAValidFile) {
    useCbr(scratch, 11, 1);
    writeToneWav(scratch / "empty.wav", 0);
    Mp3Encoder real(scratch.registry(), prompter);
    real.loadEncoder();
    EXPECT_TRUE(real.encodeFile(scratch / "empty.wav", &sink, cancel, scratch.path()));
    EXPECT_TRUE(fs::exists(scratch / "empty.mp3"));
    EXPECT_TRUE(sink.values().empty());
    // No audio frames: what LAME flushes, led by the Info frame.
    const std::string mp3 = readFile(scratch / "empty.mp3");
    ASSERT_GE(mp3.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(mp3[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(mp3[1]) & 0xE0, 0xE0);
    EXPECT_TRUE(hasXingOrInfoFrame(scratch / "empty.mp3"));

    scratch.setInstallFolder(testModuleDir("fake-lame"));
    Mp3Encoder fake(scratch.registry(), prompter);
    fake.loadEncoder();
    FakeLameState& state = fakeState(testModuleDir("fake-lame"));
    state = {};
    EXPECT_TRUE(fake.encodeFile(scratch / "empty.wav", &sink, cancel, scratch.path()));
    EXPECT_EQ(state.calls, (std::vector<std::string>{"init", "deinit", "close", "infotag"}));
    EXPECT_EQ(readFile(scratch / "empty.mp3"), "FFF");
}

TEST_F(Mp3EncoderTest, ChunksFollowTheModuleAndDropAnOddByte) {
    scratch.setInstallFolder(testModuleDir("fake-lame"));
    scratch.setValues("MP3", installedMp3Values());
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    ASSERT_TRUE(encoder.usable());
    FakeLameState& state = fakeState(testModuleDir("fake-lame"));
    state = {};
    // 1200 frames and one stray byte: 2400 samples, a full chunk of 2304 and 96 more.
    writeToneWav(scratch / "odd.wav", 1200, 1);
    const fs::path output = scratch / "odd.mp3";
    EXPECT_TRUE(
        encoder.encodeFileTo(scratch / "odd.wav", (scratch / "odd.wav").string(), &sink, cancel));
    EXPECT_EQ(state.sampleCounts, (std::vector<std::uint32_t>{2304, 96}));
    EXPECT_EQ(std::memcmp(&state.config, &encoder.configuration(), sizeof state.config), 0);
    // The tag call comes after the stream is closed and the file is complete on disk.
    EXPECT_EQ(state.calls.back(), "infotag");
    EXPECT_EQ(state.calls[state.calls.size() - 2], "close");
    EXPECT_EQ(state.tagPath, output.string());
    EXPECT_EQ(state.fileSizeAtTag, 4 + 4 + 3);
}

TEST_F(Mp3EncoderTest, OlderModuleWithoutInfoTagGetsTheVbrHeaderCall) {
    scratch.setInstallFolder(testModuleDir("fake-lame-old"));
    scratch.setValues("MP3", installedMp3Values());
    Mp3Encoder fake(scratch.registry(), prompter);
    fake.loadEncoder();
    ASSERT_TRUE(fake.usable());
    FakeLameState& state = fakeState(testModuleDir("fake-lame-old"));
    state = {};
    writeToneWav(scratch / "a.tmp", 100);
    EXPECT_TRUE(fake.encodeFile(scratch / "a.tmp", &sink, cancel, scratch.path()));
    EXPECT_EQ(state.calls.back(), "vbrheader");
    EXPECT_EQ(state.tagPath, (scratch / "a.mp3").string());
    EXPECT_EQ(state.fileSizeAtTag, 4 + 3);

    // The real module without beWriteInfoTag still fills the Info frame.
    scratch.setInstallFolder(testModuleDir("lame-old"));
    useCbr(scratch, 11, 1);
    Mp3Encoder real(scratch.registry(), prompter);
    real.loadEncoder();
    ASSERT_TRUE(real.usable());
    writeToneWav(scratch / "b.tmp", kOneSecond);
    EXPECT_TRUE(real.encodeFile(scratch / "b.tmp", &sink, cancel, scratch.path()));
    EXPECT_TRUE(hasXingOrInfoFrame(scratch / "b.mp3"));
    EXPECT_TRUE(prompter.texts().empty());
}

TEST_F(Mp3EncoderTest, CancelDeletesTheOutputAndKeepsTheInput) {
    useCbr(scratch, 11, 1);
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    writeToneWav(scratch / "in.wav", 2 * kOneSecond);
    const std::string before = readFile(scratch / "in.wav");
    test::RecordingProgress cancelling([this](int value) {
        if (value > 300)
            cancel.requestStop();
    });
    EXPECT_FALSE(encoder.encodeFile(scratch / "in.wav", &cancelling, cancel, scratch.path()));
    EXPECT_FALSE(fs::exists(scratch / "in.mp3"));
    EXPECT_EQ(readFile(scratch / "in.wav"), before);
    EXPECT_LT(cancelling.values().back(), 500);
}

TEST_F(Mp3EncoderTest, LoadFailuresAreShownAndLeaveTheEncoderUnusable) {
    EncoderScratch noPath;
    noPath.registry().createKey(registryKeyPath("Setup"))->writeDword("path", 1);
    Mp3Encoder unreadable(noPath.registry(), prompter);
    unreadable.loadEncoder();
    EXPECT_FALSE(unreadable.usable());

    scratch.setInstallFolder(scratch.path());  // no module there
    Mp3Encoder missing(scratch.registry(), prompter);
    missing.loadEncoder();
    EXPECT_FALSE(missing.usable());

    scratch.setInstallFolder(testModuleDir("lame-missing-entry"));
    Mp3Encoder incomplete(scratch.registry(), prompter);
    incomplete.loadEncoder();
    EXPECT_FALSE(incomplete.usable());
    FakeLameState& state = fakeState(testModuleDir("lame-missing-entry"));
    state = {};
    writeToneWav(scratch / "in.wav", 3000);
    EXPECT_FALSE(incomplete.encodeFile(scratch / "in.wav", &sink, cancel, scratch.path()));
    EXPECT_TRUE(state.calls.empty());  // not even beVersion
    EXPECT_FALSE(fs::exists(scratch / "in.mp3"));

    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{"Open Registry error", "Error loading lame_enc.DLL",
                                        "Unable to get LAME interfaces"}));
}

TEST_F(Mp3EncoderTest, StreamFailuresAreShownAndLeaveNoOutput) {
    scratch.setInstallFolder(testModuleDir("fake-lame"));
    scratch.setValues("MP3", installedMp3Values());
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    FakeLameState& state = fakeState(testModuleDir("fake-lame"));
    writeToneWav(scratch / "in.wav", 5000);

    state = {};
    state.initResult = 2;
    EXPECT_FALSE(encoder.encodeFile(scratch / "in.wav", &sink, cancel, scratch.path()));
    EXPECT_FALSE(fs::exists(scratch / "in.mp3"));

    state = {};
    state.failEncodeAt = 2;
    EXPECT_FALSE(encoder.encodeFile(scratch / "in.wav", &sink, cancel, scratch.path()));
    EXPECT_FALSE(fs::exists(scratch / "in.mp3"));
    EXPECT_EQ(state.calls,
              (std::vector<std::string>{"init", "encode", "encode", "close"}));  // no tag

    // A failing flush is shown, and the file is still finished.
    state = {};
    state.deinitResult = 5;
    EXPECT_TRUE(encoder.encodeFile(scratch / "in.wav", &sink, cancel, scratch.path()));
    EXPECT_TRUE(fs::exists(scratch / "in.mp3"));
    EXPECT_EQ(std::count(state.calls.begin(), state.calls.end(), "close"), 1);

    EXPECT_EQ(prompter.texts(), (std::vector<std::string>{"Error opening encoding stream (2) err",
                                                          "beEncodeChunk() failed (5),err",
                                                          "beExitStream failed (5),, err"}));
}

TEST_F(Mp3EncoderTest, RealModuleRefusingTheSettingsReportsItsCode) {
    scratch.setValues("MP3", installedMp3Values());
    scratch.setValues("MP3", {{"VBR", 0}, {"Mode", 7}});
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    writeToneWav(scratch / "in.wav", 100);
    EXPECT_FALSE(encoder.encodeFile(scratch / "in.wav", &sink, cancel, scratch.path()));
    EXPECT_FALSE(fs::exists(scratch / "in.mp3"));
    EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Error opening encoding stream (2) err"});
}

TEST_F(Mp3EncoderTest, FilesThatCannotBeOpenedAreReportedNotWritten) {
    useCbr(scratch, 11, 0);
    Mp3Encoder encoder(scratch.registry(), prompter);
    encoder.loadEncoder();
    EXPECT_FALSE(encoder.encodeFile(scratch / "absent.wav", &sink, cancel, scratch.path()));
    writeToneWav(scratch / "in.wav", 100);
    EXPECT_FALSE(encoder.encodeFile(scratch / "in.wav", &sink, cancel, scratch / "no" / "folder"));
    // An input named like its output would be truncated by creating the output.
    writeToneWav(scratch / "song.mp3", 100);
    const std::string before = readFile(scratch / "song.mp3");
    EXPECT_FALSE(
        encoder.encodeFileTo(scratch / "song.mp3", (scratch / "song.mp3").string(), &sink, cancel));
    EXPECT_EQ(readFile(scratch / "song.mp3"), before);
    ASSERT_EQ(prompter.texts().size(), 3u);
    EXPECT_NE(prompter.texts()[0].find("absent.wav"), std::string::npos);
    EXPECT_NE(prompter.texts()[1].find("folder"), std::string::npos);
    EXPECT_TRUE(sink.values().empty());
}

}  // namespace
}  // namespace tonalda
