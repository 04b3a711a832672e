// Where the audio of a WAV file to be converted is: the chunks around it, the formats that count
// as CD audio, and sizes that would overflow.

#include "codecs/wav_layout.h"

#include <gtest/gtest.h>

#include "codecs/codec_test_support.h"

namespace tonalda {
namespace {

std::string le32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>(value >> (8 * i) & 0xFF);
    return bytes;
}

std::string chunk(const std::string& id, const std::string& body) {
    std::string bytes = id + le32(static_cast<std::uint32_t>(body.size())) + body;
    if (body.size() % 2 != 0)
        bytes += '\0';
    return bytes;
}

// The 16 bytes of a PCM format chunk's body: tag, channels, rate, bytes per second, block
// alignment, bits per sample.
std::string pcmFormat(std::uint16_t tag = 1) {
    return std::string{static_cast<char>(tag & 0xFF), static_cast<char>(tag >> 8), 2, 0} +
           le32(44100) + le32(176400) + std::string{4, 0, 16, 0};
}

// WAVE_FORMAT_EXTENSIBLE: the PCM fields, then 22 more bytes ending in the sub-format GUID.
std::string extensibleFormat(char subFormat) {
    const char tail[] = {0x00,
                         0x00,
                         0x00,
                         0x00,
                         0x10,
                         0x00,
                         static_cast<char>(0x80),
                         0x00,
                         0x00,
                         static_cast<char>(0xAA),
                         0x00,
                         0x38,
                         static_cast<char>(0x9B),
                         0x71};
    return pcmFormat(0xFFFE) + std::string{22, 0, 16, 0} + le32(3) + std::string{subFormat, 0} +
           std::string(tail, sizeof tail);
}

std::string riff(const std::string& chunks) {
    return "RIFF" + le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

class WavLayoutTest : public ::testing::Test {
  protected:
    std::optional<WavLayout> layoutOf(const std::string& bytes) {
        const auto file = dir_ / "in.wav";
        test::writeFile(file, bytes);
        error_.clear();
        return readWavLayout(file, error_);
    }

    test::TempDir dir_;
    std::string error_;
    const std::string audio_ = std::string(4000, '\x11');
};

TEST_F(WavLayoutTest, OnlyADataChunkThatRunsToTheEndOfTheFileIsReadInPlace) {
    const auto plain = layoutOf(riff(chunk("fmt ", pcmFormat()) + chunk("data", audio_)));
    ASSERT_TRUE(plain) << error_;
    EXPECT_TRUE(plain->isCanonical());
    EXPECT_EQ(plain->dataLength, audio_.size());

    // A picture or a LIST chunk after the audio, as taggers write: the encoders read to the end
    // of the file, so the file needs a copy that ends with the audio.
    for (const std::string& after :
         {chunk("id3 ", std::string(200000, '\xFF')), chunk("LIST", "INFOISFT\4\0\0\0abc\0")}) {
        const auto tagged =
            layoutOf(riff(chunk("fmt ", pcmFormat()) + chunk("data", audio_) + after));
        ASSERT_TRUE(tagged) << error_;
        EXPECT_TRUE(tagged->isCdAudio());
        EXPECT_FALSE(tagged->isCanonical());
        EXPECT_EQ(tagged->dataOffset, 44u);
        EXPECT_EQ(tagged->dataLength, audio_.size());
    }

    // A data chunk cut short by the end of the file is read as far as it goes.
    std::string cut = riff(chunk("fmt ", pcmFormat()) + chunk("data", audio_));
    cut.resize(cut.size() - 1000);
    const auto truncated = layoutOf(cut);
    ASSERT_TRUE(truncated) << error_;
    EXPECT_TRUE(truncated->isCanonical());
    EXPECT_EQ(truncated->dataLength, audio_.size() - 1000);
}

TEST_F(WavLayoutTest, ExtensibleFormatWithPcmInsideIsCdAudio) {
    const auto extensible =
        layoutOf(riff(chunk("fmt ", extensibleFormat(1)) + chunk("data", audio_)));
    ASSERT_TRUE(extensible) << error_;
    EXPECT_TRUE(extensible->isCdAudio());
    EXPECT_FALSE(extensible->isCanonical());  // its header is longer than 44 bytes
    EXPECT_EQ(extensible->dataOffset, 12u + 8 + 40 + 8);

    // Floating-point samples (sub-format 3) are not CD audio, nor is a format chunk too short
    // to hold its sub-format.
    const auto floats = layoutOf(riff(chunk("fmt ", extensibleFormat(3)) + chunk("data", audio_)));
    ASSERT_TRUE(floats);
    EXPECT_FALSE(floats->isCdAudio());
    const auto shortExtensible =
        layoutOf(riff(chunk("fmt ", pcmFormat(0xFFFE)) + chunk("data", audio_)));
    ASSERT_TRUE(shortExtensible);
    EXPECT_FALSE(shortExtensible->isCdAudio());
}

TEST_F(WavLayoutTest, ChunkSizesThatRunPastTheFileEndTheSearch) {
    // A chunk stating 0xFFFFFFFF bytes: with its pad byte the size must not wrap to 0 and make
    // the chunk's own bytes read as the next chunks.
    const std::string inside = chunk("data", audio_);
    const auto huge =
        layoutOf(riff(chunk("fmt ", pcmFormat()) + "junk" + le32(0xFFFFFFFF) + inside));
    EXPECT_FALSE(huge);
    EXPECT_EQ(error_, "no audio data");

    // A format chunk that claims more than the file holds.
    EXPECT_FALSE(layoutOf(riff("fmt " + le32(0xFFFFFFF0) + pcmFormat() + inside)));
    EXPECT_EQ(error_, "not a WAV file");

    // An odd chunk is followed by its pad byte.
    const auto odd = layoutOf(riff(chunk("fmt ", pcmFormat()) + chunk("odd ", "abc") + inside));
    ASSERT_TRUE(odd) << error_;
    EXPECT_EQ(odd->dataOffset, 12u + 24 + 12 + 8);
}

TEST_F(WavLayoutTest, TheCopyHoldsExactlyTheAudio) {
    const std::string before = chunk("LIST", "INFOISFT\4\0\0\0abc\0");
    const std::string after = chunk("id3 ", std::string(5000, '\xFF'));
    const auto source = dir_ / "source.wav";
    test::writeFile(
        source, riff(chunk("fmt ", extensibleFormat(1)) + before + chunk("data", audio_) + after));
    std::string error;
    const auto layout = readWavLayout(source, error);
    ASSERT_TRUE(layout) << error;
    const auto copy = dir_ / "copy.wav";
    ASSERT_TRUE(writeCanonicalCopy(source, *layout, copy, error)) << error;
    const std::string copied = test::readFile(copy);
    ASSERT_EQ(copied.size(), 44 + audio_.size());
    EXPECT_EQ(copied.substr(44), audio_);
    const auto reread = readWavLayout(copy, error);
    ASSERT_TRUE(reread) << error;
    EXPECT_TRUE(reread->isCanonical());
}

}  // namespace
}  // namespace tonalda
