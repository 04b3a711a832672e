// Extraction of frame ranges into WAV files through the virtual drive: file layout, progress,
// cancel, read errors, and seamless jitter correction against a drive that misplaces its reads.

#include "codecs/extractor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "cdaccess/cdrom_settings.h"
#include "cdaccess/fake_system.h"
#include "cdaccess/jitter.h"
#include "codecs/wav_writer.h"
#include "platform/cancel_token.h"
#include "platform/prompter.h"
#include "support/recording_progress.h"
#include "support/shared_objects_scope.h"
#include "support/temp_dir.h"
#include "support/vdrive_fixture.h"

namespace tonalda {
namespace {

constexpr int kJitterBytes = 150;
constexpr int kMoreJitteryDrives = 4;  // a drive list holds eight

std::string moreJitteryDrives();
// Two tracks of 700 and 460 frames, the same disc in four drives: exact, jittery, one with a read
// error at frame 100, and a second jittery one whose reads land where the first one's do.
const std::string kDisc = "gen:seed 11/track audio 700/track audio 460";
const std::string kDrives =
    kDisc + ",noaudio;" + kDisc + ",noaudio,jitter=" + std::to_string(kJitterBytes) + ",seed=5;" +
    kDisc + ",noaudio,fail=100-100;" + kDisc + ",noaudio,jitter=" + std::to_string(kJitterBytes) +
    ",seed=5" + moreJitteryDrives();
constexpr std::uint32_t kLeadOut = 1160;

// Drives 4 onwards: the same disc, jittery with other seeds, so that reads land early and late
// at the ends of the ranges; drives 6 and 7 misplace reads by up to most of a frame.
constexpr int kLargeJitterBytes = 2000;
int jitterOfUnit(int unit) {
    return unit >= 6 ? kLargeJitterBytes : kJitterBytes;
}
std::string moreJitteryDrives() {
    std::string drives;
    for (int seed = 1; seed <= kMoreJitteryDrives; ++seed)
        drives += ";gen:seed 11/track audio 700/track audio 460,noaudio,jitter=" +
                  std::to_string(jitterOfUnit(3 + seed)) + ",seed=" + std::to_string(seed * 101);
    return drives;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return v;
}

class ExtractorTest : public test::VirtualDriveTest {
  protected:
    void SetUp() override {
        startEngine(kDrives);
        ASSERT_EQ(drives_.count, 4 + kMoreJitteryDrives);
        cancel_.reset();
        settings_.blockSize = 26;
        settings_.jitterCheck = 1;
        settings_.overlap = 3;
        settings_.never = 1;
    }
    void TearDown() override {
        for (int handle : handles_)
            engine_->closeCDHandle(handle);
        cancel_.reset();
        VirtualDriveTest::TearDown();
    }

    int open(int unit) {
        CdHandleRequest request;
        request.adapter = drives_.drives[unit].adapter;
        request.target = drives_.drives[unit].target;
        request.lun = drives_.drives[unit].lun;
        request.jitterCheckFrames = static_cast<std::uint8_t>(settings_.jitterCheck);
        request.overlapFrames = static_cast<std::uint8_t>(settings_.overlap);
        const int handle = engine_->getCDHandle(&request);
        EXPECT_GT(handle, 0);
        handles_.push_back(handle);
        return handle;
    }

    void useCorrection(bool always, bool onError) {
        settings_.never = !always && !onError;
        settings_.always = always;
        settings_.onError = onError;
    }

    // The disc's audio from `first` for `frames` frames, read plainly from the exact drive; frames
    // beyond the lead-out read as silence.
    std::string discAudio(std::uint32_t first, std::uint32_t frames) {
        const int handle = exactHandle();
        std::string audio;
        FrameBuffer block = FrameBuffer::forFrames(20);
        const std::uint32_t end = std::min(first + frames, kLeadOut);
        for (std::uint32_t at = first; at < end;) {
            block.startFrame = at;
            block.frameCount = std::min<std::uint32_t>(20, end - at);
            EXPECT_EQ(engine_->readCDAudio(handle, block), 1);
            audio.append(reinterpret_cast<const char*>(block.data.data()), block.length);
            at += block.frameCount;
        }
        audio.resize(std::size_t{frames} * kFrameBytes, '\0');
        return audio;
    }

    int exactHandle() {
        if (!exact_)
            exact_ = open(0);
        return *exact_;
    }

    ExtractionResult extract(int handle, std::uint32_t first, std::uint32_t frames,
                             const std::string& name = "out") {
        Extractor extractor(*engine_, settings_, prompter_, cancel_);
        return extractor.extractToWav(handle, first, frames, dir_ / name, &view_);
    }

    std::string wav(const std::string& name = "out") {
        return test::readFile(dir_ / (name + ".wav"));
    }

    CdRomSettings settings_;
    test::RecordingProgress view_;
    CancelToken cancel_;
    RecordingPrompter prompter_;
    std::vector<int> handles_;
    std::optional<int> exact_;
};

TEST_F(ExtractorTest, WritesTheRangeAfterACanonicalHeaderWithProgressToExactly1000) {
    const int handle = exactHandle();
    ASSERT_EQ(extract(handle, 40, 10), ExtractionResult::Completed);
    const std::string file = wav();
    ASSERT_EQ(file.size(), 44u + 23520u);
    EXPECT_EQ(file.substr(0, 44),
              std::string(reinterpret_cast<const char*>(wavHeader(23520).data()), 44));
    EXPECT_EQ(le32(file, 4), 23556u);
    EXPECT_EQ(le32(file, 40), 23520u);
    EXPECT_EQ(file.substr(44), discAudio(40, 10));
    const auto progress = view_.values();
    ASSERT_EQ(progress.size(), 1u);  // one block of exactly the range
    EXPECT_EQ(progress.back(), 1000);

    // A range over several blocks, and a longer existing file replaced.
    test::writeFile(dir_ / "out.wav", std::string(200000, 'x'));
    view_.clear();
    ASSERT_EQ(extract(handle, 650, 100), ExtractionResult::Completed);  // across tracks 1 and 2
    EXPECT_EQ(wav().substr(44), discAudio(650, 100));
    const auto steps = view_.values();
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0], 260);
    EXPECT_EQ(steps.back(), 1000);
    EXPECT_TRUE(prompter_.prompts().empty());
}

TEST_F(ExtractorTest, EmptyRangeAndCancelBeforeStartLeaveAHeaderOnlyFile) {
    ASSERT_EQ(extract(exactHandle(), 0, 0), ExtractionResult::Completed);
    EXPECT_EQ(wav().size(), 44u);
    EXPECT_EQ(le32(wav(), 40), 0u);
    EXPECT_TRUE(view_.values().empty());

    cancel_.requestStop();
    ASSERT_EQ(extract(exactHandle(), 0, 300, "cancelled"), ExtractionResult::Cancelled);
    EXPECT_EQ(wav("cancelled").size(), 44u);
    EXPECT_EQ(le32(wav("cancelled"), 40), 0u);
    EXPECT_EQ(le32(wav("cancelled"), 4), 36u);
}

TEST_F(ExtractorTest, ABlockFailingThreeTimesIsReportedOnceWithFrameErrorAndStatus) {
    const int handle = open(2);
    ASSERT_EQ(extract(handle, 0, 300), ExtractionResult::Failed);
    // Blocks of 26 frames from 0: the block at 78 holds the bad frame 100.
    EXPECT_EQ(prompter_.texts(), std::vector<std::string>{"Error at 78 (-4:4)\n"});
    EXPECT_EQ(view_.values().size(), 3u);
    const std::string file = wav();
    EXPECT_EQ(le32(file, 4), 36u);  // sizes never updated
    EXPECT_EQ(le32(file, 40), 0u);
    EXPECT_EQ(engine_->getLastCdError(), 0);  // the message consumed the error
}

TEST_F(ExtractorTest, AFileThatCannotBeCreatedIsReportedAndNothingIsRead) {
    Extractor extractor(*engine_, settings_, prompter_, cancel_);
    EXPECT_EQ(extractor.extractToTemp(exactHandle(), 0, 30, dir_ / "missing" / "x"),
              ExtractionResult::Failed);
    ASSERT_EQ(prompter_.texts().size(), 1u);
    EXPECT_EQ(prompter_.texts()[0].rfind(
                  "Cannot create file: " + (dir_ / "missing" / "x.tmp").string(), 0),
              0u);
    EXPECT_TRUE(view_.values().empty());
}

// Finds the byte offset k (|k| <= limit) at which `extracted` equals the disc's audio shifted by
// k bytes over its whole length, if there is one.
std::optional<int> constantShift(const std::string& extracted, const std::string& around,
                                 int limit) {
    for (int k = -limit; k <= limit; ++k) {
        const std::size_t at = static_cast<std::size_t>(limit + k);
        if (at + extracted.size() <= around.size() &&
            std::memcmp(around.data() + at, extracted.data(), extracted.size()) == 0)
            return k;
    }
    return std::nullopt;
}

TEST_F(ExtractorTest, CorrectionJoinsBlocksWithoutDroppingOrRepeatingAByte) {
    useCorrection(true, false);
    const std::uint32_t starts[] = {0, 700};
    const std::uint32_t lengths[] = {700, 460};
    for (int unit : {1, 4, 5, 6, 7}) {
        const int jittery = open(unit);
        for (int track = 0; track < 2; ++track) {
            const std::string name = "track" + std::to_string(track);
            ASSERT_EQ(extract(jittery, starts[track], lengths[track], name),
                      ExtractionResult::Completed)
                << ::testing::PrintToString(prompter_.texts());
            const std::string pcm = wav(name).substr(44);
            ASSERT_EQ(pcm.size(), lengths[track] * kFrameBytes);
            // The disc around the track with a frame of margin; silence outside the disc.
            const std::uint32_t from = starts[track] == 0 ? 0 : starts[track] - 1;
            std::string around = discAudio(from, lengths[track] + (starts[track] == 0 ? 1 : 2));
            if (starts[track] == 0)
                around.insert(0, kFrameBytes, '\0');
            const int jitter = jitterOfUnit(unit);
            around = around.substr(kFrameBytes - jitter);
            EXPECT_TRUE(constantShift(pcm, around, jitter).has_value()) << name << " unit " << unit;
        }
    }
    EXPECT_TRUE(prompter_.prompts().empty());
}

// A read near the end of the disc cannot reach past it; when such reads land more than a frame
// early the last frame still comes out whole and in place. Each extraction meets other read
// positions, so the last track is read many times.
TEST_F(ExtractorTest, LastFrameOfTheDiscWithReadsLandingFarOff) {
    useCorrection(true, false);
    std::string around = discAudio(699, 462).substr(kFrameBytes - kLargeJitterBytes);
    for (int unit : {6, 7}) {
        const int handle = open(unit);
        for (int round = 0; round < 15; ++round) {
            ASSERT_EQ(extract(handle, 700, 460), ExtractionResult::Completed)
                << ::testing::PrintToString(prompter_.texts()) << " unit " << unit;
            EXPECT_TRUE(constantShift(wav().substr(44), around, kLargeJitterBytes).has_value())
                << "unit " << unit << " round " << round;
        }
    }
}

TEST_F(ExtractorTest, WithoutCorrectionTheSameDriveBreaksTheSeams) {
    const int jittery = open(1);
    ASSERT_EQ(extract(jittery, 100, 500), ExtractionResult::Completed);
    const std::string pcm = wav().substr(44);
    std::string around = discAudio(99, 502).substr(kFrameBytes - kJitterBytes);
    EXPECT_FALSE(constantShift(pcm, around, kJitterBytes).has_value());
}

TEST_F(ExtractorTest, OnErrorExtractsExactlyLikeAlways) {
    // Two jittery drives with the same seed misplace their reads alike.
    useCorrection(true, false);
    ASSERT_EQ(extract(open(1), 100, 400, "always"), ExtractionResult::Completed);
    useCorrection(false, true);
    ASSERT_EQ(extract(open(3), 100, 400, "onerror"), ExtractionResult::Completed);
    EXPECT_EQ(wav("onerror"), wav("always"));
    useCorrection(false, false);  // neither: read without correction
    ASSERT_EQ(extract(exactHandle(), 100, 400, "plain"), ExtractionResult::Completed);
    EXPECT_NE(wav("plain"), wav("always"));
}

TEST_F(ExtractorTest, UnworkableSettingsAreBroughtIntoRangeAndSaidOncePerJob) {
    useCorrection(true, false);
    settings_.blockSize = 3;  // not above the overlap
    settings_.overlap = 0;    // below the jitter check
    const int handle = open(1);
    Extractor extractor(*engine_, settings_, prompter_, cancel_);
    ASSERT_EQ(extractor.extractToWav(handle, 0, 100, dir_ / "a"), ExtractionResult::Completed);
    ASSERT_EQ(extractor.extractToWav(handle, 300, 100, dir_ / "b"), ExtractionResult::Completed);
    ASSERT_EQ(prompter_.prompts().size(), 1u);
    EXPECT_NE(prompter_.texts()[0].find("overlap"), std::string::npos);
    std::string around = discAudio(299, 102).substr(kFrameBytes - kJitterBytes);
    EXPECT_TRUE(constantShift(wav("b").substr(44), around, kJitterBytes).has_value());

    std::string note;
    settings_.blockSize = 0;
    EXPECT_EQ(fitExtractionParameters(settings_, note).blockSize, 5u);  // overlap 1 + 2, plus 2
    settings_.never = 1;
    settings_.always = 0;
    settings_.blockSize = 1000;
    EXPECT_EQ(fitExtractionParameters(settings_, note).blockSize, 255u);
    EXPECT_FALSE(note.empty());
    settings_.blockSize = 26;
    settings_.overlap = 3;
    fitExtractionParameters(settings_, note);
    EXPECT_TRUE(note.empty());
}

// The frame after a range in the middle of the disc cannot be read: a read landing early must
// not have the range's last frame completed with zeros, as only the lead-out may. Every
// extraction either fails or holds the disc's audio, shifted as the drive placed it.
class ExtractorRangeEndTest : public test::VirtualDriveTest {
  protected:
    void SetUp() override {
        std::string drives = kDisc + ",noaudio";
        for (int seed = 1; seed <= 6; ++seed)
            drives += ";" + kDisc + ",noaudio,jitter=" + std::to_string(kLargeJitterBytes) +
                      ",seed=" + std::to_string(seed * 7) + ",fail=700-700";
        startEngine(drives);
        settings_.blockSize = 26;
        settings_.jitterCheck = 1;
        settings_.overlap = 3;
        settings_.always = 1;
    }

    int open(int unit) {
        CdHandleRequest request;
        request.adapter = drives_.drives[unit].adapter;
        request.target = drives_.drives[unit].target;
        request.lun = drives_.drives[unit].lun;
        request.jitterCheckFrames = 1;
        request.overlapFrames = 3;
        return engine_->getCDHandle(&request);
    }

    CdRomSettings settings_;
    CancelToken cancel_;
    RecordingPrompter prompter_;
};

TEST_F(ExtractorRangeEndTest, TheLastFrameBeforeAnUnreadableFrameIsNeverMadeUp) {
    const int exact = open(0);
    std::string disc;
    FrameBuffer block = FrameBuffer::forFrames(20);
    for (std::uint32_t at = 0; at < 702; at += block.frameCount) {
        block.startFrame = at;
        block.frameCount = std::min<std::uint32_t>(20, 702 - at);
        ASSERT_EQ(engine_->readCDAudio(exact, block), 1);
        disc.append(reinterpret_cast<const char*>(block.data.data()), block.length);
    }
    const std::string around = std::string(kLargeJitterBytes, '\0') +
                               disc.substr(0, 700 * kFrameBytes + kLargeJitterBytes);
    int failed = 0;
    for (int unit = 1; unit <= 6; ++unit) {
        const int handle = open(unit);
        for (int round = 0; round < 4; ++round) {
            Extractor extractor(*engine_, settings_, prompter_, cancel_);
            const auto result = extractor.extractToWav(handle, 0, 700, dir_ / "track");
            if (result == ExtractionResult::Failed) {
                ++failed;
                continue;
            }
            ASSERT_EQ(result, ExtractionResult::Completed);
            const std::string pcm = test::readFile(dir_ / "track.wav").substr(44);
            EXPECT_TRUE(constantShift(pcm, around, kLargeJitterBytes).has_value())
                << "unit " << unit << " round " << round << ": audio made up at the end";
        }
        engine_->closeCDHandle(handle);
    }
    // Reads that landed early met the unreadable frame and failed the track at least once.
    EXPECT_GT(failed, 0);
}

// At the end of the disc no read reaches past the lead-out, even on a session whose read method
// is not chosen yet: a refusal there would make the engine try, and set up, every read method.
TEST(ExtractorAtTheLeadOut, NoReadPassesTheDiscsEnd) {
    test::SharedObjectsScope names("xl");
    auto fake = std::make_shared<testing::FakeSystem>();
    fake->addUnit(0, 0, 0, 0).leadOut = 300;
    CdEngineOptions options;
    options.aspiLibrary = "/nonexistent/libwnaspi32.so";
    options.system = fake;
    CdEngine engine(options);
    ASSERT_TRUE(engine.initCdEngine());
    CdRomSettings settings;
    settings.blockSize = 26;
    settings.jitterCheck = 1;
    settings.overlap = 3;
    settings.always = 1;
    CancelToken cancel;
    RecordingPrompter prompter;
    test::TempDir dir;

    for (const std::uint32_t first : {295u, 250u}) {
        SCOPED_TRACE(first);
        CdHandleRequest request;
        request.jitterCheckFrames = 1;
        request.overlapFrames = 3;
        const int handle = engine.getCDHandle(&request);
        ASSERT_GT(handle, 0);
        fake->commands.clear();
        Extractor extractor(engine, settings, prompter, cancel);
        ASSERT_EQ(extractor.extractToWav(handle, first, 300 - first, dir / "end"),
                  ExtractionResult::Completed);
        for (const auto& command : fake->commands) {
            const std::uint8_t opcode = command.cdb[0];
            EXPECT_TRUE(opcode == 0x00 || opcode == 0xBE || opcode == 0x43) << int{opcode};
            if (opcode == 0xBE) {
                const std::uint32_t lba =
                    command.cdb[3] << 16 | command.cdb[4] << 8 | command.cdb[5];
                EXPECT_LE(lba + command.cdb[8], 300u) << "a read past the lead-out";
            }
        }
        const std::string pcm = test::readFile(dir / "end.wav").substr(44);
        ASSERT_EQ(pcm.size(), (300 - first) * kFrameBytes);
        for (std::size_t i = 0; i < pcm.size(); i += 997)
            ASSERT_EQ(static_cast<std::uint8_t>(pcm[i]),
                      testing::FakeSystem::audioByte(std::uint64_t{first} * kFrameBytes + i));
        engine.closeCDHandle(handle);
    }
    EXPECT_TRUE(prompter.prompts().empty());
}

}  // namespace
}  // namespace tonalda
