// The WMA encoder with the FFmpeg-based audio writer: files decoded with ffmpeg, attributes read
// back with ffprobe, and the failure paths with missing or broken modules.

#include "codecs/wma_encoder.h"

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"
#include "codecs/stdio_file.h"
#include "codecs/tag_info.h"
#include "codecs/wma_settings.h"
#include "platform/cancel_token.h"
#include "platform/prompter.h"
#include "support/recording_progress.h"

namespace tonalda {
namespace {

namespace fs = std::filesystem;
using test::EncoderScratch;
using test::probe;
using test::testModuleDir;
using test::writeToneWav;

class WmaEncoderTest : public ::testing::Test {
  protected:
    // Opens a writer, feeds the WAV file and closes it, as the jobs do.
    bool encodeWav(const fs::path& wav, const fs::path& wma, std::uint32_t bitrate,
                   std::uint32_t rate, std::uint32_t channels, const TagInfo* tags = nullptr) {
        std::uint32_t chunk = 0;
        if (encoder.openWriter(wma, bitrate, rate, channels, chunk) < 0)
            return false;
        EXPECT_EQ(chunk, kWmaChunkBytes);
        if (tags)
            encoder.setAttributes(settings, *tags);
        UniqueFile in = openFile(wav, "rb");
        const bool complete = encoder.writeWavData(in.get(), &sink, cancel);
        EXPECT_EQ(encoder.closeWriter(), 0);
        return complete;
    }

    EncoderScratch scratch;
    RecordingPrompter prompter;
    test::RecordingProgress sink;
    CancelToken cancel;
    WmaSettings settings;
    WmaEncoder encoder{scratch.registry(), prompter};
};

TEST(WmaInputFormatTest, RecordFollowsRateAndChannels) {
    const WAVEFORMATEX stereo = wmaInputFormat(44100, 2);
    EXPECT_EQ(stereo.wFormatTag, 1);
    EXPECT_EQ(stereo.nChannels, 2);
    EXPECT_EQ(stereo.nSamplesPerSec, 44100u);
    EXPECT_EQ(stereo.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(stereo.nBlockAlign, 4);
    EXPECT_EQ(stereo.wBitsPerSample, 16);
    EXPECT_EQ(stereo.cbSize, 0);
    const WAVEFORMATEX mono = wmaInputFormat(22050, 1);
    EXPECT_EQ(mono.nAvgBytesPerSec, 44100u);
    EXPECT_EQ(mono.nBlockAlign, 2);
}

TEST_F(WmaEncoderTest, FileDecodesWithItsAttributes) {
    settings.Title = settings.Artist = settings.Album = settings.Composer = 1;
    settings.Copyright = settings.Comment = settings.DRM = 1;
    settings.Year = settings.Track = 1;  // stored only: no attribute
    TagInfo tags;
    tags.isV1 = 1;
    tags.Title1 = "Tè日";
    tags.Artist1 = "Artist";
    tags.Album1 = "Album";
    tags.Comment1 = "A comment";
    tags.Title2 = "wrong set";
    tags.Composer = "Composer";
    tags.CopyRight = "(c) us";
    tags.Year1 = "1999";

    writeToneWav(scratch / "in.tmp", 2 * 44100);
    ASSERT_TRUE(encodeWav(scratch / "in.tmp", scratch / "out.wma", 128000, 44100, 2, &tags));
    EXPECT_TRUE(prompter.texts().empty()) << prompter.texts()[0];

    auto fields = probe(scratch / "out.wma");
    EXPECT_EQ(fields["codec_name"], "wmav2");
    EXPECT_EQ(fields["sample_rate"], "44100");
    EXPECT_EQ(fields["channels"], "2");
    EXPECT_EQ(fields["bit_rate"], "128000");
    EXPECT_NEAR(std::stod(fields["duration"]), 2.0, 0.15);
    EXPECT_EQ(fields["TAG:title"], "Tè日");
    EXPECT_EQ(fields["TAG:artist"], "Artist");
    EXPECT_EQ(fields["TAG:album"], "Album");
    EXPECT_EQ(fields["TAG:composer"], "Composer");
    EXPECT_EQ(fields["TAG:copyright"], "(c) us");
    EXPECT_EQ(fields["TAG:comment"], "A comment");
    EXPECT_EQ(fields["TAG:use_drm"], "1");
    EXPECT_EQ(fields.count("TAG:date"), 0u);
    EXPECT_EQ(fields.count("TAG:track"), 0u);
    // The names stand in the file as the WM names.
    const std::string bytes = test::readFile(scratch / "out.wma");
    const auto wide = [](std::string_view text) {
        std::string out;
        for (const char c : text)
            out += std::string{c, '\0'};
        return out;
    };
    EXPECT_NE(bytes.find(wide("WM/AlbumTitle")), std::string::npos);
    EXPECT_NE(bytes.find(wide("WM/Composer")), std::string::npos);

    // Decoded, it is the 2-second tone; the header was not encoded as audio.
    const auto samples = test::decode(scratch / "out.wma");
    EXPECT_NEAR(static_cast<double>(samples.size()) / 2, 2 * 44100, 4096);

    // Progress per 16384-byte block; the skipped header counts as done, so it ends at 1000.
    const auto progress = sink.values();
    EXPECT_EQ(progress.size(), (2 * 44100 * 4 + 16383) / 16384u);
    EXPECT_EQ(progress.front(), (44 + 16384) * 1000 / (2 * 44100 * 4 + 44));
    EXPECT_EQ(progress.back(), 1000);
}

TEST_F(WmaEncoderTest, OneChannelGetsTheMeanOfBoth) {
    // Left and right cancel out: the mean is silence, either channel alone would be loud.
    test::writeOpposedWav(scratch / "opposed.tmp", 2 * 44100);
    ASSERT_TRUE(encodeWav(scratch / "opposed.tmp", scratch / "mono.wma", 64000, 44100, 1));
    auto fields = probe(scratch / "mono.wma");
    EXPECT_EQ(fields["sample_rate"], "44100");
    EXPECT_EQ(fields["channels"], "1");
    EXPECT_NEAR(std::stod(fields["duration"]), 2.0, 0.15);
    const auto samples = test::decode(scratch / "mono.wma");
    EXPECT_NEAR(static_cast<double>(samples.size()), 2 * 44100, 4096);
    EXPECT_LT(test::peak(samples), 300);
}

TEST_F(WmaEncoderTest, FramesSplitBetweenBlocksStayWhole) {
    // Opposed channels in blocks whose sizes are not whole frames: a byte lost or shifted at a
    // block edge would turn the sum of left and right into noise.
    test::writeOpposedWav(scratch / "opposed.tmp", 44100);
    const std::string pcm = test::readFile(scratch / "opposed.tmp").substr(44);
    std::uint32_t chunk = 0;
    ASSERT_EQ(encoder.openWriter(scratch / "split.wma", 128000, 44100, 2, chunk), 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pcm.data());
    constexpr std::size_t kPiece = 4097;
    for (std::size_t at = 0; at < pcm.size(); at += kPiece)
        encoder.writeSamples(bytes + at,
                             static_cast<std::uint32_t>(std::min(kPiece, pcm.size() - at)));
    ASSERT_EQ(encoder.closeWriter(), 0);
    const auto samples = test::decode(scratch / "split.wma");
    EXPECT_NEAR(static_cast<double>(samples.size()) / 2, 44100, 4096);
    int loudest = 0;
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
        loudest = std::max(loudest, std::abs(samples[i] + samples[i + 1]));
    EXPECT_LT(loudest, 600);
}

TEST_F(WmaEncoderTest, ChosenSampleRateResamplesAndKeepsLengthAndPitch) {
    writeToneWav(scratch / "in.tmp", 3 * 44100);
    for (const auto& [bitrate, rate] : {std::pair{48000u, 22050u}, std::pair{64000u, 32000u}}) {
        SCOPED_TRACE(rate);
        const fs::path wma = scratch / ("r" + std::to_string(rate) + ".wma");
        test::RecordingProgress progress;
        std::uint32_t chunk = 0;
        ASSERT_EQ(encoder.openWriter(wma, bitrate, rate, 2, chunk), 0);
        UniqueFile in = openFile(scratch / "in.tmp", "rb");
        EXPECT_TRUE(encoder.writeWavData(in.get(), &progress, cancel));
        EXPECT_EQ(encoder.closeWriter(), 0);
        test::expectSameAudioAt(wma, static_cast<int>(rate), 3.0, {1000, 440});
        EXPECT_EQ(probe(wma).count("TAG:title"), 0u);
        EXPECT_EQ(progress.values().back(), 1000);
    }
    // One channel at a lower rate: the mean of both, resampled. Opposed channels cancel out.
    test::writeSameToneWav(scratch / "same.tmp", 2 * 44100, 1000);
    ASSERT_TRUE(encodeWav(scratch / "same.tmp", scratch / "mono.wma", 48000, 22050, 1));
    test::expectSameAudioAt(scratch / "mono.wma", 22050, 2.0, {1000});
    test::writeOpposedWav(scratch / "opposed.tmp", 44100);
    ASSERT_TRUE(encodeWav(scratch / "opposed.tmp", scratch / "silent.wma", 48000, 22050, 1));
    EXPECT_LT(test::peak(test::decode(scratch / "silent.wma")), 300);
    EXPECT_TRUE(prompter.texts().empty());
}

// The writer module on its own: PCM whose input format differs from the output format is
// resampled and remixed by the writer.
TEST_F(WmaEncoderTest, WriterConvertsAnInputFormatOtherThanItsOutput) {
    ModuleLibrary module = ModuleLibrary::load(test::moduleDir() / "libWmAudSDK.so");
    ASSERT_TRUE(module.loaded());
    const auto create = module.entryPoint<WMAUDIOCREATEWRITER>("WMAudioCreateWriter");
    ASSERT_NE(create, nullptr);
    const std::u16string path = (scratch / "direct.wma").u16string();
    IWMAudioWriter* writer = nullptr;
    ASSERT_EQ(create(reinterpret_cast<const WMCHAR*>(path.c_str()), &writer), 0);
    const WAVEFORMATEX cd = wmaInputFormat(44100, 2);
    EXPECT_EQ(writer->lpVtbl->SetInputFormat(writer, &cd), 0);
    EXPECT_EQ(writer->lpVtbl->SetOutputFormat(writer, 48000, 16000, 1, 0), 0);
    test::writeSameToneWav(scratch / "same.tmp", 2 * 44100, 440);
    const std::string pcm = test::readFile(scratch / "same.tmp").substr(44);
    EXPECT_EQ(
        writer->lpVtbl->WriteSamples(writer, reinterpret_cast<const std::uint8_t*>(pcm.data()),
                                     static_cast<std::uint32_t>(pcm.size())),
        0);
    EXPECT_EQ(writer->lpVtbl->Flush(writer), 0);
    writer->lpVtbl->Release(writer);
    test::expectSameAudioAt(scratch / "direct.wma", 16000, 2.0, {440});
}

TEST_F(WmaEncoderTest, CancelStopsBeforeTheNextBlock) {
    writeToneWav(scratch / "in.tmp", 3 * 44100);
    test::RecordingProgress cancelling([this](int value) {
        if (value > 100)
            cancel.requestStop();
    });
    std::uint32_t chunk = 0;
    ASSERT_EQ(encoder.openWriter(scratch / "cut.wma", 64000, 44100, 2, chunk), 0);
    UniqueFile in = openFile(scratch / "in.tmp", "rb");
    EXPECT_FALSE(encoder.writeWavData(in.get(), &cancelling, cancel));
    EXPECT_LT(cancelling.values().back(), 200);
    EXPECT_EQ(encoder.closeWriter(), 0);
    EXPECT_FALSE(encoder.hasWriter());
}

TEST_F(WmaEncoderTest, WriterRefusalsAreShownAndLeaveNoFile) {
    std::uint32_t chunk = 99;
    // A bitrate the encoder does not offer for one channel at 8000 Hz.
    EXPECT_LT(encoder.openWriter(scratch / "low.wma", 48000, 8000, 1, chunk), 0);
    EXPECT_EQ(chunk, 0u);
    EXPECT_FALSE(fs::exists(scratch / "low.wma"));
    EXPECT_FALSE(encoder.hasWriter());
    // Three channels are not a PCM layout the writer takes.
    EXPECT_LT(encoder.openWriter(scratch / "three.wma", 128000, 44100, 3, chunk), 0);
    EXPECT_FALSE(fs::exists(scratch / "three.wma"));
    // A file that cannot be created.
    EXPECT_LT(encoder.openWriter(scratch / "no" / "folder.wma", 128000, 44100, 2, chunk), 0);
    // A path that is not text.
    EXPECT_EQ(encoder.openWriter(scratch / "bad\xff.wma", 128000, 44100, 2, chunk),
              static_cast<std::int32_t>(0x8000FFFF));
    EXPECT_FALSE(fs::exists(scratch / "bad\xff.wma"));

    EXPECT_EQ(prompter.texts(), (std::vector<std::string>{
                                    " Failed to Set Output Format", " Failed to Set Input Format",
                                    " Failed to Create Audio Writer", "internal error"}));
    // Without a writer nothing is called.
    EXPECT_EQ(encoder.writeSamples(reinterpret_cast<const std::uint8_t*>("abcd"), 4), 0);
    EXPECT_EQ(encoder.closeWriter(), 0);
}

TEST_F(WmaEncoderTest, MissingModuleOrEntryPoint) {
    std::uint32_t chunk = 99;
    scratch.setInstallFolder(scratch.path());
    EXPECT_EQ(encoder.openWriter(scratch / "a.wma", 128000, 44100, 2, chunk), 1);
    EXPECT_EQ(chunk, 0u);
    scratch.setInstallFolder(testModuleDir("wma-missing-entry"));
    EXPECT_EQ(encoder.openWriter(scratch / "a.wma", 128000, 44100, 2, chunk), -1);
    EXPECT_FALSE(fs::exists(scratch / "a.wma"));
    EXPECT_EQ(prompter.texts(),
              (std::vector<std::string>{"Could not found WmAudSDK.DLL file",
                                        "Could not found WMAudioCreateWriter library function"}));
    EXPECT_EQ(encoder.closeWriter(), 0);
}

TEST_F(WmaEncoderTest, AttributeFailuresGoToTheStandardOutput) {
    std::uint32_t chunk = 0;
    ASSERT_EQ(encoder.openWriter(scratch / "attr.wma", 64000, 44100, 2, chunk), 0);
    EXPECT_EQ(encoder.setAttribute("WM/Track", WMT_TYPE_DWORD, "12"), 0);
    EXPECT_EQ(encoder.setAttribute("Description", WMT_TYPE_STRING, ""), 0);  // empty: still set
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(encoder.setAttribute("Title", WMT_TYPE_STRING, "bad\xff"),
              static_cast<std::int32_t>(0x80070057));
    EXPECT_LT(encoder.setAttribute("Odd", 2, "bytes"), 0);  // a type the writer does not take
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, " invalid args SetTitlen\n SetAttribute Odd Failed 80070057\n");
    const std::vector<std::uint8_t> pcm(16384, 0);
    EXPECT_GE(encoder.writeSamples(pcm.data(), pcm.size()), 0);
    EXPECT_EQ(encoder.writeSamples(pcm.data(), 0), 0);
    EXPECT_EQ(encoder.closeWriter(), 0);
    EXPECT_EQ(probe(scratch / "attr.wma")["TAG:WM/Track"], "12");
    EXPECT_TRUE(prompter.texts().empty());
}

}  // namespace
}  // namespace tonalda
