#pragma once
// Encoding one canonical WAV file into an Ogg Vorbis or WMA file: the steps the rip job, the
// segment rip and the convert jobs share. The caller sends the begin and done messages; these
// steps open and close the files, report progress, and remove an output that a cancel cut short.

#include <filesystem>

namespace tonalda {

class MessageSink;
class OggEncoder;
class Prompter;
class WmaEncoder;
struct TagInfo;
struct WmaSettings;

enum class EncodeOutcome { Done, Cancelled, Failed };

// Reads `input` from byte 44 into a new (truncated) `output`. The tag record may be null (no
// comments). A file that cannot be opened or created is reported and nothing is written; an
// encoder set-up the library refuses leaves no empty output behind. A cancel removes the output.
// Thread: a job's worker thread; progress goes synchronously to `notify`.
EncodeOutcome encodeOggFile(OggEncoder& encoder, const std::filesystem::path& input,
                            const std::filesystem::path& output, const TagInfo* tags,
                            MessageSink* notify, Prompter& prompter);

// Opens a writer on `output` with the settings' bitrate, sample rate and channels, sets the
// attributes the settings switch on from `tags` (none when null; DRM only then), and feeds the
// PCM of `input`. A writer that cannot be opened has already been reported. A cancel removes the
// output.
// Thread: a job's worker thread; progress goes synchronously to `notify`.
EncodeOutcome encodeWmaFile(WmaEncoder& encoder, const WmaSettings& settings,
                            const std::filesystem::path& input, const std::filesystem::path& output,
                            const TagInfo* tags, MessageSink* notify, Prompter& prompter);

// Removes a file; a missing file is fine. Thread: any.
void removeQuietly(const std::filesystem::path& file);

}  // namespace tonalda
