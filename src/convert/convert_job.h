#pragma once
// The convert job: every file of the convert list, one after another, encoded into MP3, WMA or
// Ogg Vorbis in the encode folder. The job keeps what the view shows of it (each row's status
// and the current row), updated from the same messages the view receives.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/messages.h"
#include "platform/job_thread.h"
#include "codecs/output_format.h"
#include "codecs/tag_info.h"

namespace tonalda {

class ConvertList;
class Prompter;
class Registry;

inline constexpr std::string_view kConvertWaiting = "Waiting";
inline constexpr std::string_view kConvertEncoding = "Encoding";
inline constexpr std::string_view kConvertEncoded = "Encoded";
inline constexpr std::string_view kConvertCanceled = "Canceled";
inline constexpr std::string_view kConvertError = "Error";

// What a conversion reads from the settings, taken when it starts.
struct ConvertOptions {
    std::filesystem::path encodeFolder;  // "Encodepath"
    // "Temppath": where a source whose audio does not start at byte 44 is copied before it is
    // encoded; the system's temporary folder when empty.
    std::filesystem::path tempFolder;
    OggSettings ogg;
    WmaSettings wma;
};

// The options from the process-wide settings records.
// Thread: the user interface thread.
ConvertOptions currentConvertOptions();

// One queue entry: the source and a copy of its row's tag record.
struct ConvertEntry {
    std::string source;
    TagInfo tag;
    std::string status;
    std::filesystem::path output;  // the file it is written to
};

// The output of a source: the encode folder, the source's file name with its last four
// characters replaced by the format's extension.
std::filesystem::path convertOutputPath(const std::filesystem::path& encodeFolder,
                                        const std::string& source, OutputFormat format);

// One job object per view, reused for each conversion. Start, cancel and the accessors may be
// called from any thread; the worker reports to `view` synchronously.
class ConvertJob {
  public:
    ConvertJob(Registry& registry, MessageSink& view, Prompter& prompter);
    // Cancels a running worker and waits for it.
    ~ConvertJob() = default;
    ConvertJob(const ConvertJob&) = delete;
    ConvertJob& operator=(const ConvertJob&) = delete;

    // Queues every row of the list in order, sets each row's Status to "Waiting", creates the
    // encode folder (one level) and starts the worker of the format. False, starting nothing,
    // when the list is empty, the format is not MP3, WMA or Ogg Vorbis, or a job is running.
    // Thread: the user interface thread (it writes into the list).
    bool start(ConvertList& list, OutputFormat format, const ConvertOptions& options);
    // The same for files not shown in a list (each with a reset tag record).
    bool start(const std::vector<std::string>& sources, OutputFormat format,
               const ConvertOptions& options);

    void cancel();
    // Waits until the worker has ended. Not on a thread that receives the worker's messages.
    void wait() { thread_.wait(); }
    bool running() const { return thread_.running(); }

    std::vector<ConvertEntry> entries() const;
    // The entry being worked on; -1 before the first.
    std::int32_t currentRow() const { return currentRow_.load(); }
    // True when the last job ended with every file encoded.
    bool succeeded() const;

  private:
    class Relay final : public MessageSink {
      public:
        explicit Relay(ConvertJob& job) : job_(job) {}
        LParam send(UserMessage message, WParam wParam, LParam lParam) override;

      private:
        ConvertJob& job_;
    };

    bool startQueue(std::vector<ConvertEntry> queue, OutputFormat format,
                    const ConvertOptions& options);
    void run();
    void observe(UserMessage message);
    // The file the encoders read for a source: the source itself, or a canonical copy of its
    // audio in the temporary folder (kept in `copy`, removed by the caller). Empty, the user
    // told why, when the source is not CD audio.
    std::filesystem::path encoderInput(const std::string& source, std::filesystem::path& copy);

    Registry& registry_;
    MessageSink& view_;
    Prompter& prompter_;
    Relay relay_{*this};
    OutputFormat format_ = OutputFormat::Mp3;
    ConvertOptions options_;

    mutable std::mutex mutex_;
    std::vector<ConvertEntry> entries_;
    std::atomic<std::int32_t> currentRow_{-1};
    bool entryFailed_ = false;  // worker thread only
    JobThread thread_;          // last: it goes first
};

}  // namespace tonalda
