#include "audio_play.h"

#include <algorithm>

#include "sector.h"

namespace tonalda::vdrive {

void AudioPlay::refresh() {
    if (state_ != State::Playing) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - clock_);
    position_ = static_cast<int32_t>(
        std::min<int64_t>(from_ + elapsed.count() * kFramesPerSecond / 1000000, end_));
    if (position_ >= end_) {
        // The end address itself is not played. The sound stream, a little behind the clock,
        // plays out on its own.
        position_ = end_ - 1;
        state_ = State::Completed;
    }
}

void AudioPlay::start(int32_t from, int32_t end) {
    stop();
    from_ = from;
    end_ = end;
    position_ = from;
    clock_ = std::chrono::steady_clock::now();
    state_ = State::Playing;
    if (output_) {
        output_->play(from, end);
    }
}

void AudioPlay::pause() {
    refresh();
    if (state_ == State::Playing) {
        state_ = State::Paused;
        if (output_) {
            output_->stop();
        }
    }
}

void AudioPlay::resume() {
    refresh();
    if (state_ == State::Paused) {
        from_ = position_;
        clock_ = std::chrono::steady_clock::now();
        state_ = State::Playing;
        if (output_) {
            output_->play(from_, end_);
        }
    }
}

void AudioPlay::stop() {
    refresh();
    if (state_ == State::Playing || state_ == State::Paused) {
        state_ = State::Idle;
    }
    if (output_) {
        output_->stop();
    }
}

bool AudioPlay::active() {
    refresh();
    return state_ == State::Playing || state_ == State::Paused;
}

std::optional<int32_t> AudioPlay::position() {
    refresh();
    if (state_ == State::Idle) {
        return std::nullopt;
    }
    return position_;
}

AudioPlay::Status AudioPlay::takeStatus() {
    refresh();
    switch (state_) {
        case State::Playing:
            return Status::Playing;
        case State::Paused:
            return Status::Paused;
        case State::Completed:
            state_ = State::Idle;
            return Status::Completed;
        case State::Idle:
            break;
    }
    return Status::None;
}

}  // namespace tonalda::vdrive
