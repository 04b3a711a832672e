#include "app/cli/cli_console.h"

#include <unistd.h>

#include <algorithm>

namespace tonalda::cli {

Console::Console(std::FILE* out, std::FILE* err, bool terminal)
    : out_(out), err_(err), terminal_(terminal) {}

Console Console::standard() {
    return Console(stdout, stderr, isatty(STDOUT_FILENO) == 1);
}

void Console::writeLocked(std::FILE* stream, std::string_view text) {
    clearProgressLocked();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void Console::out(std::string_view text) {
    std::lock_guard lock(mutex_);
    writeLocked(out_, text);
}

void Console::outText(std::string_view text) {
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    out(text);
}

void Console::err(std::string_view text) {
    std::lock_guard lock(mutex_);
    // stdout may hold a line not yet flushed; keep the order the user would expect.
    std::fflush(out_);
    writeLocked(err_, text);
}

void Console::progress(std::string_view text) {
    if (!terminal_)
        return;
    std::lock_guard lock(mutex_);
    // Carriage return, the text, then erase what a longer earlier line left.
    std::fputc('\r', out_);
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputs("\x1b[K", out_);
    std::fflush(out_);
    progressShown_ = true;
}

void Console::endProgress() {
    std::lock_guard lock(mutex_);
    clearProgressLocked();
}

void Console::clearProgressLocked() {
    if (!progressShown_)
        return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    progressShown_ = false;
}

std::string progressBar(int thousandths, int width) {
    const int value = std::clamp(thousandths, 0, 1000);
    const int filled = value * width / 1000;
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(width - filled), '-');
    bar += "] ";
    const std::string percent = std::to_string(value / 10) + "%";
    bar.append(4 - std::min<std::size_t>(4, percent.size()), ' ');
    return bar + percent;
}

PromptAnswer ConsolePrompter::ask(const Prompt& prompt) {
    std::string_view text = prompt.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    console_.err(text);
    switch (prompt.buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptAnswer::Yes;
    }
    return PromptAnswer::Ok;
}

}  // namespace tonalda::cli
