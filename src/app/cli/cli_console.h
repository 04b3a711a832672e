#pragma once
// Where tonalda-cli writes: results on stdout, messages on stderr, and on a terminal one progress
// line that is redrawn in place. Lines from several threads (a job's worker, the main thread)
// never interleave and never land in the middle of the progress line.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/prompter.h"

namespace tonalda::cli {

// Thread: any.
class Console {
  public:
    Console(std::FILE* out, std::FILE* err, bool terminal);
    // stdout and stderr; progress is drawn when stdout is a terminal.
    static Console standard();

    bool terminal() const { return terminal_; }
    void out(std::string_view text);      // one line on stdout
    void outText(std::string_view text);  // lines on stdout, the last newline optional
    void err(std::string_view text);      // one line on stderr
    // Redraws the progress line (terminal only; elsewhere nothing is drawn).
    void progress(std::string_view text);
    // Removes the progress line, if one is drawn.
    void endProgress();

  private:
    void clearProgressLocked();
    void writeLocked(std::FILE* stream, std::string_view text);

    std::mutex mutex_;
    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
    bool progressShown_ = false;
};

// "[#########-----------]  45%" for a progress in thousandths.
std::string progressBar(int thousandths, int width = 30);

// Message boxes become lines on stderr. Nobody is there to answer a question, so a question
// takes its first button (OK or Yes), as a user accepting the default would.
class ConsolePrompter final : public Prompter {
  public:
    explicit ConsolePrompter(Console& console) : console_(console) {}
    PromptAnswer ask(const Prompt& prompt) override;

  private:
    Console& console_;
};

}  // namespace tonalda::cli
