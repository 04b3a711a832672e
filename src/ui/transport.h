#pragma once
// The seam between the main window's transport bar and the player that drives it. The main
// window owns the buttons, the seek and volume sliders and the status area; a player attached to
// it receives the commands and drives the controls back through TransportBar. While no player is
// attached the transport controls stay disabled and say why.

#include <functional>
#include <optional>
#include <string>

#include "playback/player.h"

namespace tonalda::ui {

enum class TransportControl { Play, Pause, Stop, Previous, Next, Seek };

// Which player the buttons drive: the drive's own audio while the rip view is shown, the WAV
// file player while the convert view is shown.
enum class PlayerMode { Cd, File };

// What the main window offers the player. Thread: the user interface thread.
class TransportBar {
  public:
    virtual ~TransportBar() = default;
    virtual void setControlEnabled(TransportControl control, bool enabled) = 0;
    // The seek slider's position, 0..kSeekRange.
    virtual void setSeekPosition(int position) = 0;
    virtual int seekPosition() const = 0;
    // Redraws the status display from the player's statusLine().
    virtual void repaintStatus() = 0;
};

// The player's side: what the transport buttons, the seek slider and the views' player messages
// command. An adapter over the engine's CD and file players (playback/player.h) implements it,
// choosing the one the mode names. Thread: the user interface thread.
class TransportPlayer {
  public:
    virtual ~TransportPlayer() = default;

    virtual void play() = 0;
    virtual void togglePause() = 0;
    virtual void stop() = 0;
    virtual void previous() = 0;
    virtual void next() = 0;
    // The seek slider came to rest at `position` (0..10000).
    virtual void seek(int position) = 0;
    // The seek slider's jump holds the one-second timer while it moves the thumb.
    virtual void suspendTimer() = 0;
    virtual void resumeTimer() = 0;

    virtual bool isPlaying() const = 0;
    virtual void setMode(PlayerMode mode) = 0;
    // Why the player of the current mode cannot play (no sound server, ...); empty when it can.
    // The main window greys the transport controls and puts the reason into their tooltips.
    virtual std::string unavailableReason() const { return {}; }
    // What the status area shows while something plays or is paused; nullopt when stopped, and
    // the main window then shows its idle line.
    virtual std::optional<StatusArea> statusLine() const = 0;
};

// The master volume behind the volume slider (0 at the top = full volume, 10000 at the bottom).
class VolumeControl {
  public:
    virtual ~VolumeControl() = default;
    // The slider position for the current master volume, read once at start-up.
    virtual int sliderPosition() = 0;
    // The slider's thumb came to rest at `position`.
    virtual void setFromSlider(int position) = 0;
    // Why the volume cannot be set; empty when it can. The main window greys the slider and says
    // why in its tooltip.
    virtual std::string unavailableReason() const { return {}; }
    // `moved` is called on the user interface thread with the slider position of a volume changed
    // elsewhere (a desktop mixer, pactl); nullptr stops the calls.
    virtual void setPositionObserver(std::function<void(int position)> moved) { (void)moved; }
};

}  // namespace tonalda::ui
