#include "playback/file_player.h"

#include <algorithm>
#include <filesystem>

#include "convert/convert_list.h"
#include "platform/prompter.h"

namespace tonalda {

namespace {

constexpr std::uint64_t kCdBytesPerSecond = 176400;
constexpr std::uint64_t kCdSamplesPerSecond = 44100;

}  // namespace

FilePlayer::FilePlayer(const ConvertList& list, Prompter& prompter)
    : list_(list), prompter_(prompter) {}

void FilePlayer::playCurrentRow() {
    if (list_.rowCount() == 0)
        return;
    // Rows removed since the row was chosen leave the last one.
    currentRow_ = std::clamp(currentRow_, 0, list_.lastRow());
    device_.close();
    const ConvertItem& row = list_.row(currentRow_);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(row.path, error);
    fileSize_ = error ? 0 : size;
    fileName_ = row.fileName;
    const bool opened = device_.open(row.path);
    if (!opened || !device_.play()) {
        prompter_.tell(device_.errorText(), PromptIcon::Error);
        // A failed play closes the device; the player shows what is true: nothing plays.
        stop();
        return;
    }
    startedPlaying(0);
}

void FilePlayer::play(std::optional<int> selectedRow) {
    if (selectedRow && *selectedRow >= 0 && *selectedRow < list_.rowCount())
        currentRow_ = *selectedRow;
    playCurrentRow();
}

void FilePlayer::previous() {
    if (currentRow_ > 0)
        --currentRow_;
    playCurrentRow();
}

void FilePlayer::next() {
    if (currentRow_ < list_.lastRow())
        ++currentRow_;
    playCurrentRow();
}

void FilePlayer::seek(int position) {
    if (!playing_ || paused_)
        return;
    position = std::clamp(position, 0, kSeekRange);
    // The fraction position / 10000 of the duration, in whole seconds.
    const std::uint64_t seconds =
        audioBytes() * static_cast<std::uint64_t>(position) / (kCdBytesPerSecond * kSeekRange);
    elapsed_ = static_cast<int>(seconds);
    seekPosition_ = position;
    device_.seekAndPlay(seconds * kCdSamplesPerSecond);
    publish();
}

void FilePlayer::advance() {
    const std::uint64_t bytes = audioBytes();
    // A file without audio has no fraction to show.
    setSeekPosition(
        bytes > 0 ? static_cast<long long>(elapsed_ * kCdBytesPerSecond * kSeekRange / bytes) : 0);
    if (static_cast<std::uint64_t>(elapsed_) > bytes / kCdBytesPerSecond)
        stop();
}

void FilePlayer::stopOutput() {
    device_.close();
}

void FilePlayer::pauseOutput(bool pause) {
    if (pause)
        device_.pause();
    else
        device_.resume();
}

StatusArea FilePlayer::statusArea() const {
    StatusArea status;
    if (!playing_) {
        status.state = "STOP";
        return status;
    }
    status.state = paused_ ? "PAUSE" : "PLAY";
    status.title = fileName_ + ".wav";
    const std::uint64_t seconds = audioBytes() / kCdBytesPerSecond;
    status.times = statusTimes(elapsed_, static_cast<int>(seconds));
    return status;
}

}  // namespace tonalda
