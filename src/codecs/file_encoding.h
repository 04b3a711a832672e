#pragma once
// The one way jobs turn a canonical WAV file into an MP3, WMA or Ogg Vorbis file: the rip job, the
// segment rip and the convert jobs all call encodeToFile(). The caller reports the begin and the
// end of the encoding; encodeToFile opens and closes the files, reports progress, writes the tag
// (ID3 after an MP3 stream, Vorbis comments, WMA attributes) and gives the file its name only when
// it is complete.

#include <filesystem>

#include "codecs/mp3_encoder.h"
#include "codecs/ogg_encoder.h"
#include "codecs/output_format.h"
#include "codecs/wma_encoder.h"
#include "platform/job_runner.h"

namespace tonalda {

class CancelToken;
class ProgressSink;
class Prompter;
class Registry;
struct OggSettings;
struct TagInfo;
struct WmaSettings;

enum class EncodeOutcome { Done, Cancelled, Failed };

// How a job's entry ends after its encoding: a cancel stops it; a failure, already reported by
// the encoder, leaves it incomplete while the job goes on; a finished file shows "Encoded".
// Thread: the worker running the entry.
EntryResult finishEncodedEntry(EntryWork& work, EncodeOutcome outcome);

// The encoders of one job, made and used on its worker thread. The MP3 module is loaded (and the
// MP3 settings read) once, at the first MP3 file.
class FileEncoders {
  public:
    // The settings records must outlive the object; the prompter is the job's (JobPrompter).
    FileEncoders(Registry& registry, Prompter& prompter, const OggSettings& ogg,
                 const WmaSettings& wma);

    // Encodes `input` (read from byte 44) into `output` as it is named, replacing a file there.
    // The file is written under a temporary name in the output's folder and renamed to `output`
    // only when it is complete: a cancel, a failure or a killed process leaves no file there that
    // looks finished, and an older file of that name as it was. tags may be null: no tag, no
    // comments, no attributes (DRM only then). A file that cannot be opened, created or written,
    // or an encoder that cannot start, is reported through the prompter with the file's name and
    // the reason.
    // Thread: the job's worker.
    EncodeOutcome encodeToFile(OutputFormat format, const std::filesystem::path& input,
                               const std::filesystem::path& output, const TagInfo* tags,
                               ProgressSink* progress, const CancelToken& cancel);

  private:
    // Where an encoder writes (the partial file), and the name the user knows it by.
    struct EncodeTarget {
        const std::filesystem::path& file;
        const std::filesystem::path& shownAs;
    };
    EncodeOutcome encodeMp3(const std::filesystem::path& input, const EncodeTarget& target,
                            const TagInfo* tags, ProgressSink* progress, const CancelToken& cancel);
    EncodeOutcome encodeOgg(const std::filesystem::path& input, const EncodeTarget& target,
                            const TagInfo* tags, ProgressSink* progress, const CancelToken& cancel);
    EncodeOutcome encodeWma(const std::filesystem::path& input, const EncodeTarget& target,
                            const TagInfo* tags, ProgressSink* progress, const CancelToken& cancel);

    Prompter& prompter_;
    const WmaSettings& wmaSettings_;
    Mp3Encoder mp3_;
    OggEncoder ogg_;
    WmaEncoder wma_;
    bool mp3Loaded_ = false;
};

// Removes a file; a missing file is fine. Thread: any.
void removeQuietly(const std::filesystem::path& file);

}  // namespace tonalda
