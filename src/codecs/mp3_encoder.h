#pragma once
// The MP3 encoder: loads the LAME encoder module (lame_enc.so) from the install folder, builds its
// configuration record from the MP3 key, and runs the chunk loop over a WAV file with progress,
// cancel and the failure messages.

#include <cstdint>
#include <filesystem>
#include <string>

#include "codecs/lame_enc_abi.h"
#include "codecs/module_library.h"

namespace tonalda {

class CancelToken;
class ProgressSink;
class Prompter;
class Registry;

// Builds the configuration record from the MP3 key, reading it value by value in the order the
// encoder always has; a missing value (or key) counts as 0.
BE_CONFIG buildLameConfig(Registry& registry);

// One object serves every job, one job at a time.
class Mp3Encoder {
  public:
    Mp3Encoder(Registry& registry, Prompter& prompter);
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Loads the module again, resolves its entry points, fetches its version and rebuilds the
    // configuration. Failures are shown through the prompter and leave the encoder unusable.
    // Thread: a job's worker thread.
    void loadEncoder();
    bool usable() const { return initStream_ != nullptr; }

    // Encodes the WAV file `input` into `outputFolder` (the current directory when empty), named
    // like the input with its last four characters replaced by ".mp3". True when the MP3 file was
    // finished; false after a cancel or a failure (reported, a write error with the file and its
    // reason), which leave no output file behind.
    // The cancel token is checked before each chunk.
    // Thread: a job's worker thread; progress goes to `progress` (may be null) once per chunk.
    bool encodeFile(const std::filesystem::path& input, ProgressSink* progress,
                    const CancelToken& cancel, const std::filesystem::path& outputFolder = {});
    // The same, into `outputBase` with its last four characters replaced by ".mp3".
    bool encodeFileTo(const std::filesystem::path& input, const std::string& outputBase,
                      ProgressSink* progress, const CancelToken& cancel);
    // The same, into `output` as it is named.
    bool encode(const std::filesystem::path& input, const std::filesystem::path& output,
                ProgressSink* progress, const CancelToken& cancel);

    const BE_CONFIG& configuration() const { return config_; }
    const BE_VERSION& version() const { return version_; }
    std::uint32_t lastError() const { return lastError_; }

  private:
    void forgetEntryPoints();

    Registry& registry_;
    Prompter& prompter_;
    ModuleLibrary library_;
    BEINITSTREAM initStream_ = nullptr;
    BEENCODECHUNK encodeChunk_ = nullptr;
    BEDEINITSTREAM deinitStream_ = nullptr;
    BECLOSESTREAM closeStream_ = nullptr;
    BEVERSION versionOf_ = nullptr;
    BEWRITEVBRHEADER writeVbrHeader_ = nullptr;
    BEWRITEINFOTAG writeInfoTag_ = nullptr;  // optional: older modules lack it
    BE_VERSION version_{};
    BE_CONFIG config_{};
    std::uint32_t lastError_ = 0;
};

}  // namespace tonalda
