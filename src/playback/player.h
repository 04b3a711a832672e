#pragma once
// What the transport bar drives: the play, pause, stop, previous and next commands, the seek
// slider, the one-second clock and the status area's texts. Time is kept by the program, not read
// back from the drive or the sound server: each tick of the main window's one-second timer
// advances the elapsed seconds, which move the seek slider, fill the status area and find the end
// of play. The CD player and the file player differ only in what they command and how they count.

#include <optional>
#include <string>

namespace tonalda {

// The seek slider runs 0..10000.
inline constexpr int kSeekRange = 10000;

// Where the status area's texts go in the main window: one line at y = 422.
inline constexpr int kStatusTextY = 422;
inline constexpr int kStatusStateX = 245;
inline constexpr int kStatusTitleX = 300;
inline constexpr int kStatusTimesX = 555;

struct StatusArea {
    // "PLAY" or "STOP"; "PAUSE" while paused (the word drawn over the state word).
    std::string state;
    std::string title;
    // "%02d:%02d / %02d:%02d" (elapsed and length) while playing, else empty.
    std::string times;
    bool operator==(const StatusArea&) const = default;
};

// Everything the transport bar and the status area show.
struct TransportState {
    bool playing = false;
    bool paused = false;
    int seekPosition = 0;  // 0..10000
    bool seekEnabled = false;
    bool pauseEnabled = false;
    bool stopEnabled = false;
    bool previousEnabled = false;
    bool nextEnabled = false;
    bool timerRunning = false;
    StatusArea status;
    bool operator==(const TransportState&) const = default;
};

// Told of every change. Called on the thread that gave the command, after the change; the calls
// carry values and must not block.
class PlayerObserver {
  public:
    virtual ~PlayerObserver() = default;
    virtual void transportChanged(const TransportState& state) = 0;
    // running: start the one-second timer, a new period beginning now (also when it runs
    // already); not running: kill it.
    virtual void timerChanged(bool running) = 0;
};

// Thread: the user-interface thread, for every member.
class Player {
  public:
    virtual ~Player() = default;

    // Play: from the selected row (the first selected one) or, without a selection, as the mode
    // says.
    virtual void play(std::optional<int> selectedRow) = 0;
    void stop();
    // Pauses a playing player and resumes a paused one; nothing when stopped.
    void togglePause();
    virtual void previous() = 0;
    virtual void next() = 0;
    // The seek slider's thumb was released at position (0..10000). Only while playing and not
    // paused, when the slider is enabled.
    virtual void seek(int position) = 0;
    // One tick of the one-second timer; ticks while stopped, paused or with the timer killed do
    // nothing.
    void tick();
    // The seek slider stops the timer before a click moves its thumb and starts it afterwards.
    void holdTimer();
    void releaseTimer();

    TransportState state() const;
    virtual StatusArea statusArea() const = 0;
    bool playing() const { return playing_; }
    bool paused() const { return paused_; }
    int elapsedSeconds() const { return elapsed_; }
    int seekPosition() const { return seekPosition_; }
    bool timerRunning() const { return timerRunning_; }

    // The observer must outlive the player, or be replaced by nullptr first.
    void setObserver(PlayerObserver* observer) { observer_ = observer; }

  protected:
    // Silences the output; the flags are reset by stop().
    virtual void stopOutput() = 0;
    virtual void pauseOutput(bool pause) = 0;
    // One tick's arithmetic after the elapsed seconds went up; may stop.
    virtual void advance() = 0;

    // The output plays from the elapsed seconds given: playing, not paused, timer restarted.
    void startedPlaying(int elapsed);
    void setSeekPosition(long long position);
    void startTimer();
    void killTimer();
    void publish();

    bool playing_ = false;
    bool paused_ = false;
    int elapsed_ = 0;
    int seekPosition_ = 0;
    bool timerRunning_ = false;

  private:
    PlayerObserver* observer_ = nullptr;
};

// "%02d:%02d / %02d:%02d" of two durations in whole seconds.
std::string statusTimes(int elapsedSeconds, int lengthSeconds);

}  // namespace tonalda
