#pragma once
// A rip job over generated discs in virtual drives, with the settings the installer writes, read
// into the records the job takes; the rip and temporary folders are the test's own.

#include "cdaccess/cdrom_settings.h"
#include "codecs/codec_test_support.h"
#include "codecs/output_settings.h"
#include "platform/messages.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "rip/rip_job.h"
#include "rip/track_list.h"
#include "support/installed_settings.h"
#include "support/job_view.h"
#include "support/temp_dir.h"
#include "support/vdrive_fixture.h"

namespace tonalda::test {

class RipJobTest : public VirtualDriveTest {
  protected:
    void installDefaults() {
        ASSERT_NO_FATAL_FAILURE(test::installDefaultSettings(registry_.file(), dir_.path()));
        OutputSettings output;
        ASSERT_TRUE(output.load(registry_));
        ASSERT_TRUE(options_.cdrom.load(registry_));
        ASSERT_TRUE(options_.ogg.load(registry_));
        ASSERT_TRUE(options_.wma.load(registry_));
        options_.format = output.format;
        options_.fileNameRule = output.fileNameRule;
        options_.subFolderRule = output.subFolderRule;
        options_.ripFolder = dir_ / "rip";
        options_.tempFolder = dir_ / "temp";
    }

    // Rebuilds the list from the drive at `unit` and checks every row.
    void loadDisc(TrackList& list, int unit) {
        options_.cdrom.unit = unit;
        ASSERT_EQ(list.rebuild(drives_, options_.cdrom, options_.format), 1);
        list.checkAll();
    }

    std::vector<std::string> statuses(const RipJob& job) const {
        std::vector<std::string> result;
        for (const RipEntry& entry : job.entries())
            result.push_back(std::string(statusText(entry.status)));
        return result;
    }

    // The disc's audio read plainly through an open session.
    std::string discAudio(int handle, std::uint32_t first, std::uint32_t frames) {
        std::string audio;
        FrameBuffer block = FrameBuffer::forFrames(20);
        for (std::uint32_t at = first; at < first + frames;) {
            block.startFrame = at;
            block.frameCount = std::min<std::uint32_t>(20, first + frames - at);
            EXPECT_EQ(engine_->readCDAudio(handle, block), 1);
            audio.append(reinterpret_cast<const char*>(block.data.data()), block.length);
            at += block.frameCount;
        }
        return audio;
    }

    // Files left in a folder and its sub-folders.
    static std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
        return regularFilesUnder(folder);
    }

    Registry registry_{dir_ / "registry.reg"};
    RipOptions options_;
    RecordingPrompter prompter_;
};

// The message names of a recording with each run of progress messages shown once.
inline std::vector<std::string> messageOutline(const std::vector<SentMessage>& messages) {
    std::vector<std::string> outline;
    for (const SentMessage& sent : messages) {
        std::string name;
        switch (sent.message) {
            case UM_JOB_BEGIN:
                name = "job-begin";
                break;
            case UM_JOB_END:
                name = "job-end";
                break;
            case UM_EXTRACT_BEGIN:
                name = "extract-begin";
                break;
            case UM_EXTRACT_PROGRESS:
                name = "extract-progress";
                break;
            case UM_EXTRACT_DONE:
                name = "extract-done";
                break;
            case UM_EXTRACT_ERROR:
                name = "extract-error";
                break;
            case UM_ENCODE_BEGIN:
                name = "encode-begin";
                break;
            case UM_ENCODE_PROGRESS:
                name = "encode-progress";
                break;
            case UM_ENCODE_DONE:
                name = "encode-done";
                break;
            case UM_CONVERT_END:
                name = "convert-end";
                break;
            default:
                name = std::to_string(sent.message);
                break;
        }
        if (outline.empty() || outline.back() != name || name.find("progress") == std::string::npos)
            outline.push_back(name);
    }
    return outline;
}

}  // namespace tonalda::test
