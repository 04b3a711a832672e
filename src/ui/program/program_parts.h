#pragma once
// What the desktop program is made of besides its window: the GUI thread's receiver of job
// events and the program's one disc session on the CD engine, which the rip view and the CD
// player share and which outlives both; and the main window's parts built on them (the rip view,
// the drive description, the Options sheet).

#include <QUrl>
#include <functional>

#include "rip/disc_session.h"
#include "ui/job_event_bridge.h"
#include "ui/main_window.h"
#include "ui/rip/segment_dialog.h"

namespace tonalda {
class CdEngine;
class Prompter;
class Registry;
}  // namespace tonalda

namespace tonalda::ui {

// Thread: the user interface thread; made after the QApplication.
class ProgramParts {
  public:
    ProgramParts(Prompter& prompter, CdEngine& engine, Registry& registry);
    ProgramParts(const ProgramParts&) = delete;
    ProgramParts& operator=(const ProgramParts&) = delete;

    JobEventBridge& bridge() { return bridge_; }
    DiscSession& disc() { return disc_; }
    CdEngine& engine() { return engine_; }
    Registry& registry() { return registry_; }
    Prompter& prompter() { return prompter_; }

    // The main window's parts. The window must go before this object.
    MainWindowParts mainWindowParts();

    // How the rip view opens its folder and asks for a segment's file (the desktop's by
    // default; tests and pictures replace them).
    std::function<bool(const QUrl&)> openUrl;
    SaveFileChooser chooseFile = chooseSaveFileWithDialog;

  private:
    Prompter& prompter_;
    CdEngine& engine_;
    Registry& registry_;
    JobEventBridge bridge_;
    DiscSession disc_;  // after the bridge, whose queue it posts to
};

}  // namespace tonalda::ui
