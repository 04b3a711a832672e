#pragma once
// The WMA encoder: loads the audio-writer module (libWmAudSDK.so) from the install folder and
// drives one writer per output file: attributes, the DRM switch, PCM blocks, and the flush that
// finishes the file.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/cd_audio_resampler.h"
#include "codecs/module_library.h"
#include "codecs/wmaudsdk_abi.h"

namespace tonalda {

class CancelToken;
class ProgressSink;
class Prompter;
class Registry;
struct TagInfo;
struct WmaSettings;

// PCM bytes handed to the writer per block.
inline constexpr std::uint32_t kWmaChunkBytes = 16384;

// The input format record for 16-bit PCM of the given rate and channels.
WAVEFORMATEX wmaInputFormat(std::uint32_t sampleRate, std::uint32_t channels);

// The writer is told that its input has the rate and channels of its output, and it is given
// exactly that: the jobs' files are CD audio, which writeWavData mixes to one channel and
// resamples to another rate where the settings ask for it. writeSamples passes PCM through as it
// is, so its bytes must already have the writer's rate and channels.
//
// One object serves every job, one file at a time. Per file: openWriter, setAttribute as often
// as wanted, optionally enableDrm, writeSamples per block, closeWriter. After a failed openWriter
// there is no writer and the other calls do nothing.
// Thread: a job's worker thread.
class WmaEncoder {
  public:
    WmaEncoder(Registry& registry, Prompter& prompter);
    WmaEncoder(const WmaEncoder&) = delete;
    WmaEncoder& operator=(const WmaEncoder&) = delete;
    // Finishes and releases a writer that is still held.
    ~WmaEncoder();

    // Loads the module and makes the writer for `output`. 0 or positive on success with
    // chunkSize = kWmaChunkBytes; otherwise the failure has been shown, chunkSize is 0 and the
    // result is 1 (no module), -1 (no entry point), 0x8000FFFF (path not convertible, or no
    // resampler for a rate other than the CD's) or the writer's negative result.
    std::int32_t openWriter(const std::filesystem::path& output, std::uint32_t bitrate,
                            std::uint32_t sampleRate, std::uint32_t channels,
                            std::uint32_t& chunkSize);
    // Sets one attribute: type 1 text, 0 a decimal number, any other the text's bytes as they
    // are. Failures go to the standard output; the result is the writer's, or 0x80070057 when
    // the texts cannot be converted.
    std::int32_t setAttribute(std::string_view name, std::int32_t type, std::string_view value);
    // Switches the writer's "use_drm" attribute on; a failure is shown.
    std::int32_t enableDrm();
    // Hands one block of PCM to the writer: its result when not negative, else 0; 0 for an empty
    // block.
    std::int32_t writeSamples(const std::uint8_t* bytes, std::uint32_t length);
    // Flushes and releases the writer: 0, or the flush's failure (the writer is then kept).
    std::int32_t closeWriter();
    // Releases the writer without finishing its file, which the writer then deletes.
    void abandonWriter();
    // The first failure of writeSamples since the writer was opened, else 0.
    std::int32_t writeFailure() const { return writeFailure_; }
    // Why a writer's result failed, for a message: the file system's reason when it has one.
    static std::string failureText(std::int32_t result);
    bool hasWriter() const { return writer_ != nullptr; }

    // Sets the attributes the settings switch on, from the tag record, then DRM when it is on.
    void setAttributes(const WmaSettings& settings, const TagInfo& tags);
    // Feeds the PCM of an open WAV file, after its 44-byte header, in kWmaChunkBytes blocks, with
    // a progress message per block that counts the skipped header as done, so the last is 1000.
    // The file is CD audio, two channels at 44100 Hz: for a one-channel writer each frame is
    // mixed to the mean of left and right, and for another rate the audio is resampled, so the
    // file keeps its length and pitch instead of playing at the wrong speed.
    // True when the whole file went in; false when the cancel token stopped it (checked before
    // each block), or a block the writer failed to write (writeFailure).
    bool writeWavData(std::FILE* input, ProgressSink* progress, const CancelToken& cancel);

  private:
    void releaseWriter();
    void writeResampled(const std::uint8_t* cdFrames, int frames);

    Registry& registry_;
    Prompter& prompter_;
    ModuleLibrary library_;
    WMAUDIOCREATEWRITER createWriter_ = nullptr;
    IWMAudioWriter* writer_ = nullptr;
    std::uint32_t writerChannels_ = 0;
    std::int32_t writeFailure_ = 0;
    // Only while the writer's rate is not the CD's.
    std::unique_ptr<CdAudioResampler> resampler_;
    std::vector<std::uint8_t> resampled_;
};

}  // namespace tonalda
