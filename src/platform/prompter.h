#pragma once
// Message boxes. A job or view asks the user through a Prompter; the GUI shows a dialog, the
// command-line front end prints, and tests script the answers.

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cancel_token.h"

namespace tonalda {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct Prompt {
    std::string text;
    std::string caption;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
};

// Thread: any. A worker thread blocks until the prompt is answered; never call it on the thread
// that must answer it (a Qt prompter shows its box on the GUI thread through a blocking queued
// call, made from workers only).
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual PromptAnswer ask(const Prompt& prompt) = 0;

    // The same for a job's worker: when the job is stopped while the prompt waits, the prompt is
    // closed and answered Cancel. A stopped job is answered Cancel without a prompt. Prompters
    // that answer at once (the console, scripts) need not override it.
    virtual PromptAnswer ask(const Prompt& prompt, const CancelToken& cancel) {
        if (cancel.stopRequested())
            return PromptAnswer::Cancel;
        return ask(prompt);
    }

    // A message box with only an OK button.
    void tell(std::string_view text, PromptIcon icon = PromptIcon::None,
              std::string_view caption = {}) {
        ask(Prompt{std::string(text), std::string(caption), PromptButtons::Ok, icon});
    }
};

// A job's view of a prompter: every prompt ends when the job is stopped. Encoders and the
// extraction loop are given one of these, so that a stop reaches a message box they wait on.
class JobPrompter final : public Prompter {
  public:
    using Prompter::ask;
    JobPrompter(Prompter& prompter, const CancelToken& cancel)
        : prompter_(prompter), cancel_(cancel) {}
    PromptAnswer ask(const Prompt& prompt) override { return prompter_.ask(prompt, cancel_); }

  private:
    Prompter& prompter_;
    const CancelToken& cancel_;
};

// Records every prompt and answers from a script; when the script is empty it answers with the
// first button (OK or Yes).
class RecordingPrompter final : public Prompter {
  public:
    using Prompter::ask;
    PromptAnswer ask(const Prompt& prompt) override {
        std::lock_guard lock(mutex_);
        prompts_.push_back(prompt);
        if (!script_.empty()) {
            const PromptAnswer answer = script_.front();
            script_.pop_front();
            return answer;
        }
        return prompt.buttons == PromptButtons::Ok || prompt.buttons == PromptButtons::OkCancel
                   ? PromptAnswer::Ok
                   : PromptAnswer::Yes;
    }

    void scriptAnswer(PromptAnswer answer) {
        std::lock_guard lock(mutex_);
        script_.push_back(answer);
    }

    std::vector<Prompt> prompts() const {
        std::lock_guard lock(mutex_);
        return prompts_;
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> result;
        for (const auto& prompt : prompts())
            result.push_back(prompt.text);
        return result;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Prompt> prompts_;
    std::deque<PromptAnswer> script_;
};

}  // namespace tonalda
