// Convert jobs with the installer's settings and the real encoder modules: names in the encode
// folder, statuses and message order, tags, and cancel.

#include "convert/convert_job.h"

#include <gtest/gtest.h>

#include <sstream>

#include "codecs/codec_test_support.h"
#include "convert/convert_list.h"
#include "platform/prompter.h"
#include "support/installed_settings.h"
#include "support/job_view.h"

namespace tonalda {
namespace {

constexpr std::uint32_t kFrames = 44100;  // one second each

class ConvertJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::installDefaultSettings(registry_.file(), dir_.path()));
        ASSERT_TRUE(options_.ogg.load(registry_));
        ASSERT_TRUE(options_.wma.load(registry_));
        options_.encodeFolder = dir_ / "encoded";
        // Sources from different folders.
        for (const char* source : {"one/Song.wav", "two/Second.wav", "three/Third.wav"}) {
            std::filesystem::create_directories((dir_ / source).parent_path());
            test::writeToneWav(dir_ / source, kFrames);
            sources_.push_back((dir_ / source).string());
        }
        list_.addFiles(sources_, prompter_);
    }

    std::vector<std::string> statuses(const ConvertJob& job) const {
        std::vector<std::string> result;
        for (const ConvertEntry& entry : job.entries())
            result.push_back(std::string(statusText(entry.status)));
        return result;
    }
    std::filesystem::path encoded(const std::string& name) const { return dir_ / "encoded" / name; }
    static std::vector<std::string> filesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir_;
    Registry registry_{dir_ / "registry.reg"};
    ConvertOptions options_;
    RecordingPrompter prompter_;
    ConvertList list_;
    std::vector<std::string> sources_;
};

TEST_F(ConvertJobTest, ThreeWavsToEachFormatLandInTheEncodeFolderWithTheirTags) {
    list_.row(0).tag->isV1 = 1;
    list_.row(0).tag->Title1 = "Song title";
    list_.row(0).tag->Album1 = "Album one";
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Wma, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        std::filesystem::create_directories(dir_ / "encoded");
        test::writeFile(encoded("Song" + extension), "an older file of that name");
        test::JobView view;
        ConvertJob job(registry_, prompter_, view.events());
        ASSERT_TRUE(job.start(list_, format, options_));
        EXPECT_EQ(list_.row(2).status, "Waiting");
        view.follow(job);

        EXPECT_TRUE(prompter_.texts().empty()) << prompter_.texts().front();
        EXPECT_EQ(statuses(job), std::vector<std::string>(3, "Encoded"));
        EXPECT_TRUE(job.succeeded());
        EXPECT_EQ(filesIn(dir_ / "encoded"),
                  (std::vector<std::string>{"Second" + extension, "Song" + extension,
                                            "Third" + extension}));
        std::vector<std::string> outline;
        for (const SentMessage& sent : view.messages())
            if (sent.message != UM_ENCODE_PROGRESS)
                outline.push_back(std::to_string(sent.message - kFirstUserMessage));
        EXPECT_EQ(outline, (std::vector<std::string>{"104", "106", "107", "106", "107", "106",
                                                     "107", "105"}));
        const auto progress = view.messagesOf(UM_ENCODE_PROGRESS);
        ASSERT_FALSE(progress.empty());
        if (format == OutputFormat::Wma)
            EXPECT_EQ(progress.back().wParam, 1000u);
        else
            EXPECT_LT(progress.back().wParam, 1000u) << "the skipped header is not counted";

        const auto song = encoded("Song" + extension);
        auto fields = test::probe(song);
        EXPECT_NEAR(std::stod(fields["duration"]), 1.0, 0.1);
        if (format == OutputFormat::Ogg) {
            const std::string comments =
                test::runCommand("vorbiscomment -l " + test::quoted(song)).output;
            EXPECT_NE(comments.find("TITLE=Song title\n"), std::string::npos) << comments;
            EXPECT_NE(comments.find("ALBUM=Album one\n"), std::string::npos) << comments;
        } else {
            EXPECT_EQ(fields["TAG:title"], "Song title");
        }
        if (format == OutputFormat::Mp3) {
            // A row with neither tag version switched on gives an MP3 without tags.
            const std::string second = test::readFile(encoded("Second.mp3"));
            EXPECT_FALSE(second.starts_with("ID3"));
            EXPECT_NE(second.substr(second.size() - 128, 3), "TAG");
        }
        std::filesystem::remove_all(dir_ / "encoded");
    }
}

TEST_F(ConvertJobTest, CancelDuringTheSecondLeavesNoSecondOrThirdOutput) {
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Wma, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        ConvertJob* running = nullptr;
        int begun = 0;
        // Handled on the worker's thread, so that the cancel lands while the second encodes.
        test::JobView view(test::JobView::Delivery::OnPostingThread, [&](const JobNotice& notice) {
            for (const SentMessage& sent : userMessagesOf(notice.event)) {
                begun += sent.message == UM_ENCODE_BEGIN;
                if (begun == 2 && sent.message == UM_ENCODE_PROGRESS && running)
                    running->requestStop();
            }
        });
        ConvertJob job(registry_, prompter_, view.events());
        running = &job;
        ASSERT_TRUE(job.start(list_, format, options_));
        view.follow(job);

        EXPECT_EQ(statuses(job), (std::vector<std::string>{"Encoded", "Canceled", "Canceled"}));
        EXPECT_FALSE(job.succeeded());
        EXPECT_EQ(filesIn(dir_ / "encoded"), std::vector<std::string>{"Song" + extension});
        EXPECT_EQ(begun, 2);
        EXPECT_EQ(view.finished(), JobOutcome::Canceled);
        EXPECT_EQ(job.currentRow(), 1);
        std::filesystem::remove_all(dir_ / "encoded");
    }
}

TEST_F(ConvertJobTest, AFileThatCannotBeReadIsAnErrorAndTheJobGoesOn) {
    std::filesystem::remove(sources_[1]);
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Wma, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        test::JobView view;
        RecordingPrompter prompter;
        ConvertJob job(registry_, prompter, view.events());
        ASSERT_TRUE(job.start(list_, format, options_));
        view.follow(job);
        EXPECT_EQ(statuses(job), (std::vector<std::string>{"Encoded", "Error", "Encoded"}));
        EXPECT_EQ(prompter.texts().size(), 1u);
        EXPECT_EQ(filesIn(dir_ / "encoded"),
                  (std::vector<std::string>{"Song" + extension, "Third" + extension}));
        std::filesystem::remove_all(dir_ / "encoded");
    }
}

TEST_F(ConvertJobTest, RefusedOggSetupIsReportedAndLeavesNoEmptyFile) {
    options_.ogg.Samplerate = 42;  // off the list: libvorbisenc refuses it
    test::JobView view;
    ConvertJob job(registry_, prompter_, view.events());
    ASSERT_TRUE(job.start(list_, OutputFormat::Ogg, options_));
    view.follow(job);
    EXPECT_EQ(statuses(job), std::vector<std::string>(3, "Error"));
    EXPECT_EQ(prompter_.texts().size(), 3u);
    EXPECT_TRUE(filesIn(dir_ / "encoded").empty());
}

// An output on a full disk: every format says which file failed and why, marks the row "Error",
// and leaves no file that looks finished; the next file is encoded.
TEST_F(ConvertJobTest, AWriteFailureIsReportedWithTheFileAndReasonAndLeavesNoFile) {
    std::filesystem::create_directories(dir_ / "encoded");
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Wma, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        const auto full = encoded("Second" + extension);
        std::filesystem::create_symlink("/dev/full", full);
        test::JobView view;
        RecordingPrompter prompter;
        ConvertJob job(registry_, prompter, view.events());
        ASSERT_TRUE(job.start(list_, format, options_));
        view.follow(job);
        EXPECT_EQ(statuses(job), (std::vector<std::string>{"Encoded", "Error", "Encoded"}));
        ASSERT_EQ(prompter.texts().size(), 1u);
        EXPECT_EQ(prompter.texts()[0],
                  "Output file write error\n" + full.string() + ": No space left on device");
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(full)));
        EXPECT_EQ(filesIn(dir_ / "encoded"),
                  (std::vector<std::string>{"Song" + extension, "Third" + extension}));
        std::filesystem::remove_all(dir_ / "encoded");
        std::filesystem::create_directories(dir_ / "encoded");
    }
}

TEST_F(ConvertJobTest, ASourceThatWouldBeItsOwnOutputIsLeftAlone) {
    std::filesystem::create_directories(dir_ / "encoded");
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Wma, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        const auto source = encoded("Already" + extension);
        test::writeToneWav(source, 4410);
        const std::string before = test::readFile(source);
        ConvertList list;
        list.addFiles({source.string()}, prompter_);
        test::JobView view;
        RecordingPrompter prompter;
        ConvertJob job(registry_, prompter, view.events());
        ASSERT_TRUE(job.start(list, format, options_));
        view.follow(job);
        EXPECT_EQ(statuses(job), std::vector<std::string>{"Error"});
        EXPECT_EQ(prompter.texts().size(), 1u);
        EXPECT_TRUE(test::readFile(source) == before);
    }
}

TEST_F(ConvertJobTest, NothingStartsForAnEmptyListOrWav) {
    test::JobView view;
    ConvertJob job(registry_, prompter_, view.events());
    ConvertList empty;
    EXPECT_FALSE(job.start(empty, OutputFormat::Mp3, options_));
    EXPECT_FALSE(job.start(list_, OutputFormat::Wav, options_));
    EXPECT_FALSE(view.events().waitForEvents(std::chrono::milliseconds(0)));
    EXPECT_EQ(list_.row(0).status, "");
}

TEST(ConvertOutputPath, SourceFileNameInTheEncodeFolderWithTheFormatsExtension) {
    EXPECT_EQ(convertOutputPath("/out", "/music/Song.wav", OutputFormat::Mp3), "/out/Song.mp3");
    EXPECT_EQ(convertOutputPath("/out", "/music/x.wave", OutputFormat::Ogg), "/out/x..ogg");
}

}  // namespace
}  // namespace tonalda

namespace tonalda {
namespace {

// The canonical file with a LIST chunk of 26 bytes put before its data, as many tools write.
void insertListChunk(const std::filesystem::path& canonical, const std::filesystem::path& target) {
    std::string bytes = test::readFile(canonical);
    std::string list("LIST\x1a\x00\x00\x00INFOISFT\x0e\x00\x00\x00some encoder\x00\x00", 34);
    bytes.insert(36, list);
    const auto riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<char>(riffSize >> (8 * i));
    test::writeFile(target, bytes);
}

void setRiffSize(std::string& bytes) {
    const auto riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
    for (int i = 0; i < 4; ++i)
        bytes[4 + i] = static_cast<char>(riffSize >> (8 * i));
}

// The canonical file with a chunk of `size` bytes after its data, as taggers add cover art.
void appendChunk(const std::filesystem::path& canonical, const std::filesystem::path& target,
                 std::size_t size) {
    std::string bytes = test::readFile(canonical);
    bytes += "id3 ";
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>(size >> (8 * i));
    bytes.append(size, '\x7F');
    setRiffSize(bytes);
    test::writeFile(target, bytes);
}

// The canonical file's audio under a WAVE_FORMAT_EXTENSIBLE header with the PCM sub-format.
void makeExtensible(const std::filesystem::path& canonical, const std::filesystem::path& target) {
    std::string bytes = test::readFile(canonical);
    const char extension[] = {22, 0, 16,   0, 3,      0, 0, 0,      1, 0,    0,      0,
                              0,  0, 0x10, 0, '\x80', 0, 0, '\xAA', 0, 0x38, '\x9B', 0x71};
    bytes[16] = 40;                          // format chunk size
    bytes[20] = '\xFE', bytes[21] = '\xFF';  // WAVE_FORMAT_EXTENSIBLE
    bytes.insert(36, std::string(extension, sizeof extension));
    setRiffSize(bytes);
    test::writeFile(target, bytes);
}

// What taggers and other programs write around the same audio gives the same encoded audio: a
// picture after the data, a LIST chunk after a canonical header, the extensible format.
TEST_F(ConvertJobTest, OnlyTheDataChunkIsEncodedWhateverSurroundsIt) {
    appendChunk(sources_[0], dir_ / "cover.wav", 200000);
    appendChunk(sources_[0], dir_ / "listed.wav", 26);
    makeExtensible(sources_[0], dir_ / "extensible.wav");
    options_.tempFolder = dir_ / "temp";
    const std::vector<std::string> sources = {sources_[0], (dir_ / "cover.wav").string(),
                                              (dir_ / "listed.wav").string(),
                                              (dir_ / "extensible.wav").string()};
    for (const OutputFormat format : {OutputFormat::Mp3, OutputFormat::Ogg}) {
        const std::string extension(outputFormatExtension(static_cast<std::int32_t>(format)));
        SCOPED_TRACE(extension);
        test::JobView view;
        ConvertJob job(registry_, prompter_, view.events());
        ASSERT_TRUE(job.start(sources, format, options_));
        view.follow(job);
        EXPECT_TRUE(prompter_.texts().empty()) << prompter_.texts().front();
        EXPECT_EQ(statuses(job), std::vector<std::string>(4, "Encoded"));
        const auto reference = test::decode(encoded("Song" + extension));
        ASSERT_FALSE(reference.empty());
        for (const char* name : {"cover", "listed", "extensible"}) {
            const auto decoded = test::decode(encoded(name + extension));
            EXPECT_EQ(decoded.size(), reference.size()) << name;
            EXPECT_TRUE(decoded == reference) << name << ": the audio differs";
        }
        EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    }
}

TEST_F(ConvertJobTest, AudioAfterOtherChunksIsFoundAndOtherAudioIsRefused) {
    insertListChunk(sources_[0], dir_ / "listed.wav");
    // 48 kHz: the encoders would play it at the wrong speed.
    std::string other = test::readFile(sources_[1]);
    other[24] = static_cast<char>(0x80), other[25] = static_cast<char>(0xBB);
    test::writeFile(dir_ / "fast.wav", other);
    options_.tempFolder = dir_ / "temp";

    test::JobView view;
    ConvertJob job(registry_, prompter_, view.events());
    ASSERT_TRUE(
        job.start({sources_[0], (dir_ / "listed.wav").string(), (dir_ / "fast.wav").string()},
                  OutputFormat::Mp3, options_));
    view.follow(job);
    EXPECT_EQ(statuses(job), (std::vector<std::string>{"Encoded", "Encoded", "Error"}));
    // The same audio gives the same MP3, whatever chunks came before it.
    EXPECT_EQ(test::readFile(encoded("listed.mp3")), test::readFile(encoded("Song.mp3")));
    EXPECT_FALSE(std::filesystem::exists(encoded("fast.mp3")));
    EXPECT_TRUE(filesIn(dir_ / "temp").empty());
    ASSERT_EQ(prompter_.texts().size(), 1u);
    EXPECT_EQ(prompter_.texts()[0],
              (dir_ / "fast.wav").string() + "\nis not a 44.1 kHz 16-bit stereo WAV file.");
}

}  // namespace
}  // namespace tonalda
