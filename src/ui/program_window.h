#pragma once
// The desktop program's window with everything it is made of, wired together: the GUI thread's
// receiver of job events, the disc session, the CD player over it, the views, the player
// adapter on the transport bar and the master volume behind the volume slider. One per program,
// made after the QApplication.

#include <functional>
#include <memory>

#include "cdaccess/cd_engine.h"
#include "playback/cd_player.h"
#include "rip/disc_session.h"
#include "ui/job_event_bridge.h"
#include "ui/main_window.h"
#include "ui/rip/segment_dialog.h"

namespace tonalda {
class Prompter;
}

namespace tonalda::ui {

class ConvertView;
class PlayerAdapter;
class RipView;
class VolumeAdapter;

// What the program hands to the desktop: the Options sheet over the engine's drives (none: the
// Options button stays grey), the opening of URLs and folders (QDesktopServices when empty) and
// the segment dialog's Save As.
struct ProgramHooks {
    std::function<void(MainWindow&, const CdDriveList& drives)> runOptionsSheet;
    std::function<bool(const QUrl&)> openUrl;
    SaveFileChooser chooseFile = chooseSaveFileWithDialog;
};

// What the views share; made before the window and gone after it.
struct ProgramEngine {
    ProgramEngine(Prompter& prompter, CdEngine& engine);

    Prompter& prompter_;
    CdEngine& engine_;
    JobEventBridge events_;
    DiscSession discSession_;
    CdPlayer cdPlayer_;
    RipView* ripperView_ = nullptr;       // owned by the window
    ConvertView* encoderView_ = nullptr;  // owned by the window
};

// The engine comes first among the bases, so it is made before the window and its views and
// goes after them. (No Q_OBJECT: moc wants the QObject base first.)
class ProgramWindow : private ProgramEngine, public MainWindow {
  public:
    // Looks for the sound server once (at most its timeout): without one the file player and the
    // volume slider are grey and say why. The engine is the process's unless a test brings its
    // own.
    ProgramWindow(Prompter& prompter, ProgramHooks hooks, CdEngine& engine = cdEngine());
    ~ProgramWindow() override;

    DiscSession& discSession() { return discSession_; }
    JobEventBridge& events() { return events_; }
    CdPlayer& cdPlayer() { return cdPlayer_; }
    RipView& ripView() { return *ripperView_; }
    ConvertView& convertView() { return *encoderView_; }
    PlayerAdapter& playerAdapter() { return *player_; }
    VolumeAdapter& volumeAdapter() { return *volume_; }

  private:
    MainWindowParts windowParts(ProgramHooks hooks);

    // Attached to the window: they go before it.
    std::unique_ptr<PlayerAdapter> player_;
    std::unique_ptr<VolumeAdapter> volume_;
};

}  // namespace tonalda::ui
