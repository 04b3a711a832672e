#include "ui/program_window.h"

#include "cdaccess/cd_engine.h"
#include "platform/registry.h"
#include "playback/master_volume.h"
#include "playback/pulse_connection.h"
#include "ui/convert_view.h"
#include "ui/player_adapter.h"
#include "ui/rip/rip_view.h"
#include "ui/volume_adapter.h"

namespace tonalda::ui {

ProgramEngine::ProgramEngine(Prompter& prompter, CdEngine& engine)
    : prompter_(prompter),
      engine_(engine),
      discSession_(engine, Registry::instance(), prompter, events_.queue()),
      cdPlayer_(engine, discSession_) {}

ProgramWindow::ProgramWindow(Prompter& prompter, ProgramHooks hooks, CdEngine& engine)
    : ProgramEngine(prompter, engine), MainWindow(windowParts(std::move(hooks))) {
    // CD mode: the drive plays by itself. File mode needs the sound server.
    const SoundServerStatus sound = probeSoundServer();
    PlayerAdapter::ModePlayer cd{
        &cdPlayer_, [this] { return ripperView_->firstSelectedRow(); }, {}};
    PlayerAdapter::ModePlayer file{
        &encoderView_->player(), [this] { return encoderView_->firstSelectedRow(); }, sound.reason};
    player_ = std::make_unique<PlayerAdapter>(*this, std::move(cd), std::move(file));
    attachPlayer(player_.get());
    volume_ = std::make_unique<VolumeAdapter>(std::make_unique<MasterVolume>());
    attachVolume(volume_.get());
}

ProgramWindow::~ProgramWindow() {
    attachPlayer(nullptr);
    attachVolume(nullptr);
}

MainWindowParts ProgramWindow::windowParts(ProgramHooks hooks) {
    // Runs before the window is made: only the engine part of this object may be used here.
    MainWindowParts parts;
    parts.prompter = &prompter_;
    parts.driveDescription = [this] { return discSession_.selectedDriveDescription(); };
    parts.openUrl = hooks.openUrl;
    parts.makeRipView = [this, openUrl = hooks.openUrl,
                         chooseFile = hooks.chooseFile](MainWindow& window) {
        auto view = std::make_unique<RipView>(
            window, RipViewParts{discSession_, engine_, Registry::instance(), prompter_, events_,
                                 openUrl, chooseFile});
        ripperView_ = view.get();
        return view;
    };
    parts.makeConvertView = [this, openUrl = hooks.openUrl](MainWindow& window) {
        ConvertViewParts viewParts;
        viewParts.window = &window;
        viewParts.prompter = &prompter_;
        viewParts.registry = &Registry::instance();
        viewParts.events = &events_;
        viewParts.openUrl = openUrl;
        auto view = std::make_unique<ConvertView>(std::move(viewParts));
        encoderView_ = view.get();
        return view;
    };
    if (hooks.runOptionsSheet)
        parts.runOptionsSheet = [this, run = std::move(hooks.runOptionsSheet)](MainWindow& window) {
            discSession_.ensureEngine();
            run(window, discSession_.drives());
        };
    return parts;
}

}  // namespace tonalda::ui
