#include "ui/program_parts.h"

#include "cdaccess/cd_engine.h"
#include "platform/registry.h"
#include "playback/master_volume.h"
#include "playback/pulse_connection.h"
#include "ui/convert_view.h"
#include "ui/player_adapter.h"
#include "ui/qt_prompter.h"
#include "ui/selected_drive.h"
#include "ui/volume_adapter.h"

namespace tonalda::ui {

ProgramParts::ProgramParts(QtPrompter& prompter, std::function<void(MainWindow&)> runOptionsSheet)
    : prompter_(prompter),
      session_(cdEngine(), Registry::instance(), prompter, events_.queue()),
      cdPlayer_(cdEngine(), session_) {
    window_ = std::make_unique<MainWindow>(windowParts(std::move(runOptionsSheet)));
    prompter_.setParentWindow(window_.get());

    // CD mode: the drive plays by itself. File mode needs the sound server.
    const SoundServerStatus sound = probeSoundServer();
    PlayerAdapter::ModePlayer cd{
        &cdPlayer_, [this] { return window_->ripView().firstSelectedRow(); }, {}};
    PlayerAdapter::ModePlayer file{
        &convertView_->player(), [this] { return convertView_->firstSelectedRow(); }, sound.reason};
    player_ = std::make_unique<PlayerAdapter>(*window_, std::move(cd), std::move(file));
    window_->attachPlayer(player_.get());
    volume_ = std::make_unique<VolumeAdapter>(std::make_unique<MasterVolume>());
    window_->attachVolume(volume_.get());
}

ProgramParts::~ProgramParts() {
    window_->attachPlayer(nullptr);
    window_->attachVolume(nullptr);
}

MainWindowParts ProgramParts::windowParts(std::function<void(MainWindow&)> runOptionsSheet) {
    MainWindowParts parts;
    parts.prompter = &prompter_;
    parts.driveDescription = selectedDriveDescription;
    parts.makeConvertView = [this](MainWindow& window) {
        ConvertViewParts viewParts;
        viewParts.window = &window;
        viewParts.prompter = &prompter_;
        viewParts.registry = &Registry::instance();
        viewParts.events = &events_;
        auto view = std::make_unique<ConvertView>(std::move(viewParts));
        convertView_ = view.get();
        return view;
    };
    parts.runOptionsSheet = std::move(runOptionsSheet);
    return parts;
}

}  // namespace tonalda::ui
