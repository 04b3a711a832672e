#pragma once
// What a running job shows on the console: a progress bar per phase with the track and its
// status on a terminal, one line per phase elsewhere. It receives the job's messages on the job's
// worker thread, as a view would.

#include <functional>
#include <mutex>
#include <string>

#include "platform/messages.h"

namespace tonalda::cli {

class Console;

// Thread: the job's worker (send) while the main thread waits.
class ConsoleJobView final : public MessageSink {
  public:
    // label names the item being worked on when a phase begins.
    ConsoleJobView(Console& console, std::function<std::string()> label);
    LParam send(UserMessage message, WParam wParam, LParam lParam) override;

  private:
    void beginPhase(std::string_view phase);
    void endPhase();

    Console& console_;
    std::function<std::string()> label_;
    std::string phaseLabel_;
    int lastDrawn_ = -1;
};

}  // namespace tonalda::cli
