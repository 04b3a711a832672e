#pragma once
// The segment rip: one range of frames of the disc, across track boundaries if need be, into one
// output file of the chosen format, without a tag. The worker reports to the "Rip Segment"
// dialog; the object also keeps the dialog's status text and how the rip ended.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "cdaccess/cdrom_settings.h"
#include "codecs/ogg_settings.h"
#include "codecs/wma_settings.h"
#include "platform/messages.h"
#include "platform/job_thread.h"

namespace tonalda {

class CdEngine;
class Prompter;
class Registry;

// Status texts of the dialog.
inline constexpr std::string_view kSegmentExtracting = "Extracting...";
inline constexpr std::string_view kSegmentExtracted = "Extracted";
inline constexpr std::string_view kSegmentEncoding = "Encoding...";
inline constexpr std::string_view kSegmentFinished = "Finished";
inline constexpr std::string_view kSegmentCanceled = "Canceled";
inline constexpr std::string_view kSegmentError = "Error";

struct SegmentRipOptions {
    std::int32_t format = 0;           // OutputFormat position
    std::filesystem::path output;      // the full output name, extension included
    std::filesystem::path tempFolder;  // "Temppath"; the system's temporary folder when empty
    CdRomSettings cdrom;
    OggSettings ogg;
    WmaSettings wma;
};

// The dialog's first output name: the rip folder, "Untitled" and the format's extension.
std::filesystem::path defaultSegmentOutput(const std::filesystem::path& ripFolder,
                                           std::int32_t format);

enum class SegmentOutcome { Running, Finished, Canceled, Failed };

// Start, cancel and the accessors may be called from any thread; the worker reports to `dialog`
// synchronously.
class SegmentRip {
  public:
    SegmentRip(CdEngine& engine, Registry& registry, MessageSink& dialog, Prompter& prompter);
    // Cancels a running worker and waits for it.
    ~SegmentRip() = default;
    SegmentRip(const SegmentRip&) = delete;
    SegmentRip& operator=(const SegmentRip&) = delete;

    // Begin: rips the frames from startFrame up to (not including) endFrame on the open session.
    // False when a rip is still running or the range is empty or reversed.
    bool start(int sessionHandle, std::uint32_t startFrame, std::uint32_t endFrame,
               const SegmentRipOptions& options);
    // Cancel: the worker stops at its next block and removes what it had written.
    void cancel();
    // Waits until the worker has ended. Not on a thread that receives the worker's messages.
    void wait() { thread_.wait(); }
    bool running() const { return thread_.running(); }

    std::string status() const;
    SegmentOutcome outcome() const { return outcome_.load(); }

  private:
    class Relay final : public MessageSink {
      public:
        explicit Relay(SegmentRip& rip) : rip_(rip) {}
        LParam send(UserMessage message, WParam wParam, LParam lParam) override;

      private:
        SegmentRip& rip_;
    };

    void run(int handle, std::uint32_t startFrame, std::uint32_t frameCount);
    SegmentOutcome rip(int handle, std::uint32_t startFrame, std::uint32_t frameCount);
    void setStatus(std::string_view status);

    CdEngine& engine_;
    Registry& registry_;
    MessageSink& dialog_;
    Prompter& prompter_;
    Relay relay_{*this};
    SegmentRipOptions options_;
    std::atomic<SegmentOutcome> outcome_{SegmentOutcome::Finished};
    mutable std::mutex mutex_;
    std::string status_;
    JobThread thread_;  // last: it goes first
};

}  // namespace tonalda
