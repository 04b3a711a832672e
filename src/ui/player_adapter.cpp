#include "ui/player_adapter.h"

namespace tonalda::ui {

namespace {

constexpr int kClockPeriodMs = 1000;

}  // namespace

PlayerAdapter::PlayerAdapter(TransportBar& bar, ModePlayer cd, ModePlayer file, QObject* parent)
    : QObject(parent), bar_(bar), cd_(std::move(cd)), file_(std::move(file)) {
    clock_.setInterval(kClockPeriodMs);
    connect(&clock_, &QTimer::timeout, this, &PlayerAdapter::tick);
    if (cd_.player)
        cd_.player->setObserver(&cdListener_);
    if (file_.player)
        file_.player->setObserver(&fileListener_);
}

PlayerAdapter::~PlayerAdapter() {
    for (const ModePlayer* mode : {&cd_, &file_})
        if (mode->player)
            mode->player->setObserver(nullptr);
}

Player* PlayerAdapter::currentPlayer() const {
    const ModePlayer& mode = current();
    return mode.unavailableReason.empty() ? mode.player : nullptr;
}

void PlayerAdapter::play() {
    if (Player* player = currentPlayer())
        player->play(current().selectedRow ? current().selectedRow() : std::nullopt);
}

void PlayerAdapter::togglePause() {
    if (Player* player = currentPlayer())
        player->togglePause();
}

void PlayerAdapter::stop() {
    // Whichever plays: a view switch stops the player of the view it leaves.
    for (const ModePlayer* mode : {&cd_, &file_})
        if (mode->player && mode->player->playing())
            mode->player->stop();
}

void PlayerAdapter::previous() {
    if (Player* player = currentPlayer())
        player->previous();
}

void PlayerAdapter::next() {
    if (Player* player = currentPlayer())
        player->next();
}

void PlayerAdapter::seek(int position) {
    if (Player* player = currentPlayer())
        player->seek(position);
}

void PlayerAdapter::suspendTimer() {
    if (Player* player = currentPlayer())
        player->holdTimer();
}

void PlayerAdapter::resumeTimer() {
    if (Player* player = currentPlayer())
        player->releaseTimer();
}

void PlayerAdapter::tick() {
    if (Player* player = currentPlayer())
        player->tick();
}

bool PlayerAdapter::isPlaying() const {
    return (cd_.player && cd_.player->playing()) || (file_.player && file_.player->playing());
}

void PlayerAdapter::setMode(PlayerMode mode) {
    mode_ = mode;
    Player* player = currentPlayer();
    runClock(player && player->timerRunning());
    show(player ? player->state() : TransportState{});
}

std::optional<StatusArea> PlayerAdapter::statusLine() const {
    const Player* player = currentPlayer();
    if (!player || !player->playing())
        return std::nullopt;
    return player->statusArea();
}

std::string PlayerAdapter::unavailableReason() const {
    return current().player ? current().unavailableReason : "no player in this mode";
}

void PlayerAdapter::show(const TransportState& state) {
    bar_.setControlEnabled(TransportControl::Pause, state.pauseEnabled);
    bar_.setControlEnabled(TransportControl::Stop, state.stopEnabled);
    bar_.setControlEnabled(TransportControl::Previous, state.previousEnabled);
    bar_.setControlEnabled(TransportControl::Next, state.nextEnabled);
    bar_.setControlEnabled(TransportControl::Seek, state.seekEnabled);
    bar_.setSeekPosition(state.seekPosition);
    bar_.repaintStatus();
}

void PlayerAdapter::runClock(bool running) {
    // A start begins a new period, also when the clock runs already.
    if (running)
        clock_.start();
    else
        clock_.stop();
}

void PlayerAdapter::Listener::transportChanged(const TransportState& state) {
    if (adapter_.mode_ == mode_)
        adapter_.show(state);
}

void PlayerAdapter::Listener::timerChanged(bool running) {
    if (adapter_.mode_ == mode_)
        adapter_.runClock(running);
}

}  // namespace tonalda::ui
