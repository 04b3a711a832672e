#pragma once
// The desktop program's parts, made once and wired together: the GUI thread's receiver of job
// events, the disc session, the CD player over it, the main window with its views, the player
// adapter on the transport bar and the master volume behind the volume slider. Made after the
// QApplication and destroyed before it.

#include <functional>
#include <memory>

#include "playback/cd_player.h"
#include "rip/disc_session.h"
#include "ui/job_event_bridge.h"
#include "ui/main_window.h"

namespace tonalda::ui {

class ConvertView;
class PlayerAdapter;
class QtPrompter;
class VolumeAdapter;

class ProgramParts {
  public:
    // Looks for the sound server once (at most its timeout): without one the file player and the
    // volume slider are grey and say why. `runOptionsSheet` runs the Options sheet modally over
    // the window (none: the Options button stays grey).
    ProgramParts(QtPrompter& prompter, std::function<void(MainWindow&)> runOptionsSheet);
    ~ProgramParts();
    ProgramParts(const ProgramParts&) = delete;
    ProgramParts& operator=(const ProgramParts&) = delete;

    MainWindow& window() { return *window_; }
    DiscSession& discSession() { return session_; }
    ConvertView& convertView() { return *convertView_; }
    PlayerAdapter& player() { return *player_; }
    VolumeAdapter& volume() { return *volume_; }
    JobEventBridge& events() { return events_; }

  private:
    MainWindowParts windowParts(std::function<void(MainWindow&)> runOptionsSheet);

    QtPrompter& prompter_;
    JobEventBridge events_;
    DiscSession session_;
    CdPlayer cdPlayer_;
    ConvertView* convertView_ = nullptr;  // owned by the window
    std::unique_ptr<MainWindow> window_;
    // Before the window goes: they are attached to it.
    std::unique_ptr<PlayerAdapter> player_;
    std::unique_ptr<VolumeAdapter> volume_;
};

}  // namespace tonalda::ui
