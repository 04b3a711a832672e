#pragma once
// Extraction of a range of CD frames into a WAV file (".wav" output or ".tmp" input for an
// encoder), block by block, with or without jitter correction, three attempts per block, progress
// in thousandths, and the job's cancel token checked between blocks.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "cdaccess/cd_types.h"

namespace tonalda {

class CancelToken;
class CdEngine;
class Prompter;
class ProgressSink;
struct CdRomSettings;

enum class ExtractionResult { Completed, Cancelled, Failed };

// The block size and jitter parameters one extraction runs with.
struct ExtractionParameters {
    std::uint32_t blockSize = 0;
    std::uint32_t overlap = 0;
    std::uint32_t jitterCheck = 0;
    bool correctJitter = false;
};

// Brings settings the loop cannot work with into range: a block size outside 1..255; with jitter
// correction, an overlap below the jitter check (the reference could never be found) or a block
// size not above the overlap (blocks would deliver no new frames). Returns the parameters and a
// note saying what was changed, empty when nothing was.
ExtractionParameters fitExtractionParameters(const CdRomSettings& settings, std::string& note);

// One extractor serves one job: the note about settings brought into range is shown once. The
// job's cancel token is checked between blocks.
// Thread: the job's worker thread.
class Extractor {
  public:
    Extractor(CdEngine& engine, const CdRomSettings& settings, Prompter& prompter,
              const CancelToken& cancel);

    ExtractionResult extractToWav(int handle, std::uint32_t firstFrame, std::uint32_t frameCount,
                                  const std::filesystem::path& basePath,
                                  ProgressSink* progress = nullptr);
    ExtractionResult extractToTemp(int handle, std::uint32_t firstFrame, std::uint32_t frameCount,
                                   const std::filesystem::path& basePath,
                                   ProgressSink* progress = nullptr);

    // Writes the file, reporting progress in thousandths after each block. On a block that fails
    // three times, or a file that cannot be created or written, the user is told and the result
    // is Failed; the caller stops its job for it.
    ExtractionResult extract(int handle, std::uint32_t firstFrame, std::uint32_t frameCount,
                             const std::filesystem::path& file, ProgressSink* progress = nullptr);

  private:
    // Where the disc ends, read once per extraction: reads stay before the lead-out, and only a
    // range that ends there may have its last frame completed with zeros.
    struct DiscEnd {
        std::optional<std::uint32_t> leadOut;
    };
    int readBlock(int handle, FrameBuffer& block, FrameBuffer& reference, std::uint32_t position,
                  std::uint32_t blockFrames, std::uint32_t remaining,
                  const ExtractionParameters& params, const DiscEnd& discEnd);

    CdEngine& engine_;
    const CdRomSettings& settings_;
    Prompter& prompter_;
    const CancelToken& cancel_;
    bool noteShown_ = false;
    std::array<std::uint8_t, kFrameBytes> partialFrame_{};
};

// basePath with an extension appended (not replaced: base names may contain dots).
std::filesystem::path withExtension(const std::filesystem::path& basePath, const char* extension);

}  // namespace tonalda
