#pragma once
// The transport bar's player: the CD player while the rip view is shown, the file player while
// the convert view is shown. It hands the bar's commands to the player of the current mode, with
// the shown view's first selected row for Play, drives the bar's buttons, seek slider and status
// area from what the player reports, and runs the player's one-second clock as a timer.

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "playback/player.h"
#include "ui/transport.h"

namespace tonalda::ui {

class PlayerAdapter final : public QObject, public TransportPlayer {
    Q_OBJECT

  public:
    // One mode's player. Without a player, or with a reason, the mode cannot play and the bar
    // says why.
    struct ModePlayer {
        Player* player = nullptr;
        // The shown view's first selected row; none without a function.
        std::function<std::optional<int>()> selectedRow;
        std::string unavailableReason;
    };

    // The players must outlive the adapter; the bar is the main window it is attached to.
    PlayerAdapter(TransportBar& bar, ModePlayer cd, ModePlayer file, QObject* parent = nullptr);
    ~PlayerAdapter() override;

    // TransportPlayer.
    void play() override;
    void togglePause() override;
    void stop() override;
    void previous() override;
    void next() override;
    void seek(int position) override;
    void suspendTimer() override;
    void resumeTimer() override;
    bool isPlaying() const override;
    void setMode(PlayerMode mode) override;
    std::optional<StatusArea> statusLine() const override;
    std::string unavailableReason() const override;

    PlayerMode mode() const { return mode_; }
    // The one-second clock: running while the current player plays and is not paused.
    const QTimer& clock() const { return clock_; }

  public Q_SLOTS:
    // One tick of the clock.
    void tick();

  private:
    // Hears one mode's player; only the current mode reaches the bar.
    class Listener final : public PlayerObserver {
      public:
        Listener(PlayerAdapter& adapter, PlayerMode mode) : adapter_(adapter), mode_(mode) {}
        void transportChanged(const TransportState& state) override;
        void timerChanged(bool running) override;

      private:
        PlayerAdapter& adapter_;
        PlayerMode mode_;
    };

    ModePlayer& current() { return mode_ == PlayerMode::Cd ? cd_ : file_; }
    const ModePlayer& current() const { return mode_ == PlayerMode::Cd ? cd_ : file_; }
    Player* currentPlayer() const;
    void show(const TransportState& state);
    void runClock(bool running);

    TransportBar& bar_;
    ModePlayer cd_;
    ModePlayer file_;
    PlayerMode mode_ = PlayerMode::Cd;
    QTimer clock_;
    Listener cdListener_{*this, PlayerMode::Cd};
    Listener fileListener_{*this, PlayerMode::File};
};

}  // namespace tonalda::ui
