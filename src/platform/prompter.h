#pragma once
// Message boxes. A job or view asks the user through a Prompter; the GUI shows a dialog, the
// command-line front end prints, and tests script the answers.

#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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

// Thread: any. A worker thread blocks until the prompt is answered.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual PromptAnswer ask(const Prompt& prompt) = 0;

    // A message box with only an OK button.
    void tell(std::string_view text, PromptIcon icon = PromptIcon::None,
              std::string_view caption = {}) {
        ask(Prompt{std::string(text), std::string(caption), PromptButtons::Ok, icon});
    }
};

// Records every prompt and answers from a script; when the script is empty it answers with the
// first button (OK or Yes).
class RecordingPrompter final : public Prompter {
public:
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
