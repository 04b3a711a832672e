// The main window in the states a user sees most: at start-up with nothing playing, playing a
// track with a long CJK title, and on the convert view while a job runs.

#include <QComboBox>
#include <QLineEdit>

#include "cdinfo/disc_info.h"
#include "platform/messages.h"
#include "screenshots/scene.h"
#include "ui/main_window.h"

namespace tonalda::screenshots {

namespace {

// A player frozen in the middle of a track, so that the status area shows a whole line.
class StillPlayer final : public ui::TransportPlayer {
  public:
    void play() override {}
    void togglePause() override {}
    void stop() override { playing = false; }
    void previous() override {}
    void next() override {}
    void seek(int) override {}
    void suspendTimer() override {}
    void resumeTimer() override {}
    bool isPlaying() const override { return playing; }
    void setMode(ui::PlayerMode) override {}
    std::optional<StatusArea> statusLine() const override {
        if (!playing)
            return std::nullopt;
        return StatusArea{"PLAY",
                          "戦場のメリークリスマス (Merry Christmas Mr. Lawrence) – Live at the "
                          "Budokan, remastered",
                          statusTimes(83, 296)};
    }
    bool playing = true;
};

class StillVolume final : public ui::VolumeControl {
  public:
    int sliderPosition() override { return 3000; }
    void setFromSlider(int) override {}
};

// The window owns the player and volume of its scene.
class SceneWindow final : public ui::MainWindow {
  public:
    using MainWindow::MainWindow;
    StillPlayer player;
    StillVolume volume;
};

ui::MainWindowParts parts(SceneSetup& setup) {
    ui::MainWindowParts parts;
    parts.prompter = &setup.prompter;
    parts.driveDescription = setup.driveDescription;
    parts.runOptionsSheet = [](ui::MainWindow&) {};
    return parts;
}

const SceneRegistration kIdle("main-window", [](SceneSetup& setup) {
    return std::make_unique<ui::MainWindow>(parts(setup));
});

const SceneRegistration kPlaying("main-window-playing", [](SceneSetup& setup) {
    auto window = std::make_unique<SceneWindow>(parts(setup));
    DiscInfo info;
    info.artist = "坂本龍一";
    info.album = "Coda – Live at the Budokan";
    info.genreIndex = 24;  // Soundtrack
    window->showDiscInfo(info);
    window->attachPlayer(&window->player);
    window->attachVolume(&window->volume);
    for (auto control :
         {ui::TransportControl::Pause, ui::TransportControl::Stop, ui::TransportControl::Previous,
          ui::TransportControl::Next, ui::TransportControl::Seek})
        window->setControlEnabled(control, true);
    window->setSeekPosition(2800);
    window->repaintStatus();
    return window;
});

const SceneRegistration kConvertBusy("main-window-convert-busy", [](SceneSetup& setup) {
    auto window = std::make_unique<SceneWindow>(parts(setup));
    window->attachPlayer(&window->player);
    window->attachVolume(&window->volume);
    window->showConvertView();
    window->handleMessage(UM_RIP_BEGIN);
    return window;
});

}  // namespace

}  // namespace tonalda::screenshots
