#include "playback/player.h"

#include <cstdio>

namespace tonalda {

std::string statusTimes(int elapsedSeconds, int lengthSeconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d / %02d:%02d", elapsedSeconds / 60,
                  elapsedSeconds % 60, lengthSeconds / 60, lengthSeconds % 60);
    return text;
}

TransportState Player::state() const {
    TransportState state;
    state.playing = playing_;
    state.paused = paused_;
    state.seekPosition = seekPosition_;
    state.pauseEnabled = state.stopEnabled = playing_;
    state.seekEnabled = state.previousEnabled = state.nextEnabled = playing_ && !paused_;
    state.timerRunning = timerRunning_;
    state.status = statusArea();
    return state;
}

void Player::publish() {
    if (observer_)
        observer_->transportChanged(state());
}

void Player::startTimer() {
    timerRunning_ = true;
    if (observer_)
        observer_->timerChanged(true);
}

void Player::killTimer() {
    const bool wasRunning = timerRunning_;
    timerRunning_ = false;
    if (wasRunning && observer_)
        observer_->timerChanged(false);
}

void Player::setSeekPosition(long long position) {
    // A position past the end shows the slider at the start.
    seekPosition_ = position >= 0 && position <= kSeekRange ? static_cast<int>(position) : 0;
}

void Player::startedPlaying(int elapsed) {
    elapsed_ = elapsed;
    playing_ = true;
    paused_ = false;
    seekPosition_ = 0;
    startTimer();
    publish();
}

void Player::stop() {
    killTimer();
    seekPosition_ = 0;
    elapsed_ = 0;
    stopOutput();
    playing_ = false;
    paused_ = false;
    publish();
}

void Player::togglePause() {
    if (!playing_)
        return;
    pauseOutput(!paused_);
    paused_ = !paused_;
    if (paused_)
        killTimer();
    else
        startTimer();
    publish();
}

void Player::tick() {
    if (!timerRunning_ || !playing_ || paused_)
        return;
    ++elapsed_;
    advance();
    if (playing_)
        publish();
}

void Player::holdTimer() {
    killTimer();
}

void Player::releaseTimer() {
    if (playing_ && !paused_)
        startTimer();
}

}  // namespace tonalda
