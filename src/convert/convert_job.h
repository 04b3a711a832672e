#pragma once
// The convert job: every file of the convert list encoded into MP3, WMA or Ogg Vorbis in the
// encode folder, taken up in list order by a pool of encoder workers (one after another with one
// worker). The job keeps what the view shows of it (each row's status and the current row),
// updated from the same messages the view receives.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/ogg_settings.h"
#include "codecs/output_format.h"
#include "codecs/tag_info.h"
#include "codecs/wma_settings.h"
#include "platform/job_runner.h"

namespace tonalda {

class ConvertList;
class FileEncoders;
class Prompter;
class Registry;

// What a conversion reads from the settings, taken when it starts.
struct ConvertOptions {
    std::filesystem::path encodeFolder;  // "Encodepath"
    // "Temppath": where a source whose audio does not start at byte 44 is copied before it is
    // encoded; the system's temporary folder when empty.
    std::filesystem::path tempFolder;
    // Encoder workers: files encoded at once; 1 encodes one after another.
    int workers = 1;
    OggSettings ogg;
    WmaSettings wma;
};

// The options from the process-wide settings records, with as many encoder workers as the
// process has cores. Thread: the user interface thread.
ConvertOptions currentConvertOptions();

// One queue entry: the source and a copy of its row's tag record.
struct ConvertEntry {
    std::string source;
    TagInfo tag;
    RowStatus status = RowStatus::Waiting;
    std::filesystem::path output;  // the file it is written to
};

// The output of a source: the encode folder, the source's file name with its extension replaced
// by the format's (added when it has none).
std::filesystem::path convertOutputPath(const std::filesystem::path& encodeFolder,
                                        const std::string& source, OutputFormat format);

// One job object per view, reused for each conversion; each run has its own JobId. It reports to
// its receiver's JobEventQueue with the list's rows: Encoding, Encoded and the encoding progress;
// a cancel makes the rows being worked on and all later ones Canceled. Each output is written
// under a temporary name and renamed when complete; sources of one name get distinct outputs
// ("song.ogg", "song (2).ogg"). The owner starts, stops and
// destroys it (see platform/job_thread.h); the accessors may be called from any thread.
class ConvertJob {
  public:
    ConvertJob(Registry& registry, Prompter& prompter, JobEventQueue& events);
    ConvertJob(const ConvertJob&) = delete;
    ConvertJob& operator=(const ConvertJob&) = delete;

    // Queues every row of the list in order, sets each row's Status to "Waiting", names each
    // output, creates the encode folder (one level) and starts the worker of the format. False,
    // starting nothing, when the list is empty, the format is not MP3, WMA or Ogg Vorbis, or a job
    // is running. Thread: the thread that owns the list (the user interface thread).
    bool start(ConvertList& list, OutputFormat format, const ConvertOptions& options);
    // The same for files not shown in a list (each with a reset tag record); rows are their
    // positions in `sources`.
    bool start(const std::vector<std::string>& sources, OutputFormat format,
               const ConvertOptions& options);

    void requestStop() { runner_.requestStop(); }
    bool running() const { return runner_.running(); }
    JobId id() const { return runner_.id(); }

    std::vector<ConvertEntry> entries() const;
    // The entry taken up last.
    std::int32_t currentRow() const { return runner_.currentRow(); }
    // True when the last job ended with every file encoded.
    bool succeeded() const { return runner_.succeeded(); }

  private:
    bool startQueue(std::vector<ConvertEntry> queue, OutputFormat format,
                    const ConvertOptions& options);
    EntryResult convertEntry(EntryWork& work, const ConvertEntry& entry, FileEncoders& encoders,
                             Prompter& prompter);

    Registry& registry_;
    Prompter& prompter_;
    OutputFormat format_ = OutputFormat::Mp3;
    ConvertOptions options_;
    std::vector<ConvertEntry> queue_;  // written only while no worker runs
    JobRunner runner_;                 // last: it goes first
};

}  // namespace tonalda
