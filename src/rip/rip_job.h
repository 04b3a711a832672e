#pragma once
// The rip job: the checked tracks of the track list, one after another, extracted through the
// jitter-corrected reader into a WAV file or a temporary file that an encoder then turns into an
// MP3, WMA or Ogg Vorbis file. The job also keeps what a view shows of it (the queue with each
// entry's status and done flag), updated from the same messages the view receives, so that the
// window and the command-line front end show the same rows.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "cdaccess/cdrom_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/messages.h"
#include "platform/job_thread.h"
#include "rip/track_list.h"

namespace tonalda {

class CdEngine;
class Prompter;
class Registry;
struct RipWorkers;

// Row statuses of the rip view.
inline constexpr std::string_view kStatusWaiting = "Waiting";
inline constexpr std::string_view kStatusExtracting = "Extracting";
inline constexpr std::string_view kStatusExtracted = "Extracted";
inline constexpr std::string_view kStatusEncoding = "Encoding";
inline constexpr std::string_view kStatusEncoded = "Encoded";
inline constexpr std::string_view kStatusCanceled = "Canceled";
inline constexpr std::string_view kStatusError = "Error";

// Everything a rip reads from the settings, taken when it starts.
struct RipOptions {
    std::int32_t format = 0;  // OutputFormat position
    std::filesystem::path ripFolder;
    std::int32_t fileNameRule = 0;
    std::int32_t subFolderRule = 0;
    std::string discArtist = " ";
    std::string discAlbum = " ";
    std::filesystem::path tempFolder;  // "Temppath"; the system's temporary folder when empty
    CdRomSettings cdrom;
    OggSettings ogg;
    WmaSettings wma;
};

// The options from the process-wide settings records and disc information.
// Thread: the user interface thread (settings do not change while it reads them).
RipOptions currentRipOptions();

// One entry of the rip queue as a view shows it.
struct RipEntry {
    TrackItem item;  // a copy of the row's item, base name composed; done when its file is complete
    std::string status;
};

// One job object per view, reused for each rip. Start, cancel and the accessors may be called from
// any thread; the worker reports to `view` synchronously, and the accessors already show the
// change a message announces when the view handles it.
class RipJob {
  public:
    RipJob(CdEngine& engine, Registry& registry, MessageSink& view, Prompter& prompter);
    // Cancels a running worker and waits for it.
    ~RipJob() = default;
    RipJob(const RipJob&) = delete;
    RipJob& operator=(const RipJob&) = delete;

    // Builds the queue from the list's checked rows top to bottom: each row's base name is
    // composed by the file-name rule and kept in the list's own item, its Status becomes
    // "Waiting", and a copy of the item joins the queue. Then the worker starts on the list's
    // drive session. False, starting nothing, when no row is checked or a job is still running.
    // Thread: the user interface thread (it writes into the list).
    bool start(TrackList& list, const RipOptions& options);
    // The same for a prepared queue on an open drive session (items keep their base names and
    // rows).
    bool start(int sessionHandle, std::vector<TrackItem> queue, const RipOptions& options);

    // The Cancel command: the worker stops at its next block and removes the partial files.
    void cancel();
    // Waits until the worker has ended. Not on a thread that receives the worker's messages.
    void wait() { thread_.wait(); }
    bool running() const { return thread_.running(); }

    std::vector<RipEntry> entries() const;
    // The list row of the entry being worked on.
    std::int32_t currentRow() const { return currentRow_.load(); }
    // Set when an extraction (or the output folder) failed; cleared when a job starts.
    bool errorFlag() const { return errorFlag_.load(); }
    // True when the last job ended with every entry's file complete.
    bool succeeded() const;

  private:
    // Passes the worker's messages on to the view after updating the entries from them.
    class Relay final : public MessageSink {
      public:
        explicit Relay(RipJob& job) : job_(job) {}
        LParam send(UserMessage message, WParam wParam, LParam lParam) override;

      private:
        RipJob& job_;
    };

    void run();
    // One queue entry; false when the job must stop.
    bool ripEntry(RipWorkers& work, std::size_t index);
    void observe(UserMessage message);
    void setStatus(std::size_t index, std::string_view status);
    void markDone(std::size_t index);
    void failJob();

    CdEngine& engine_;
    Registry& registry_;
    MessageSink& view_;
    Prompter& prompter_;
    Relay relay_{*this};
    RipOptions options_;
    int handle_ = 0;

    mutable std::mutex mutex_;
    std::vector<RipEntry> entries_;
    std::atomic<std::int32_t> currentRow_{0};
    std::atomic<bool> errorFlag_{false};
    // Touched only by the worker (its messages arrive on its own thread).
    std::size_t current_ = 0;
    bool progressHidden_ = true;
    bool stoppedEarly_ = false;
    bool entryFailed_ = false;
    JobThread thread_;  // last: it goes first
};

}  // namespace tonalda
