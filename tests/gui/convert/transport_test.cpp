// The transport bar and the volume slider over the real players: CD mode on the virtual drive
// while the rip view shows, file mode through the sound server while the convert view shows, the
// volume slider on the sound server's default output, and a machine without a sound server.

#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include "cdaccess/cd_engine.h"
#include "gui_test_support.h"
#include "program_harness.h"
#include "rip/disc_session.h"
#include "ui/bitmap_button.h"
#include "ui/convert_view.h"
#include "ui/jump_slider.h"
#include "ui/player_adapter.h"
#include "ui/status_display.h"

namespace tonalda::test {

namespace {

// The status area's line.
StatusArea shown(ui::ProgramWindow& window) {
    return window.statusDisplay().line();
}

// Which of Pause, Stop, Previous, Next and the seek slider are usable, in that order.
std::vector<bool> transportControls(ui::ProgramWindow& window) {
    return {window.button(QStringLiteral("Pause")).isEnabled(),
            window.button(QStringLiteral("Stop")).isEnabled(),
            window.button(QStringLiteral("Pre")).isEnabled(),
            window.button(QStringLiteral("Next")).isEnabled(), window.seekSlider().isEnabled()};
}

const std::vector<bool> kPlaying{true, true, true, true, true};
const std::vector<bool> kPaused{true, true, false, false, false};
const std::vector<bool> kStopped{false, false, false, false, false};

void click(ui::ProgramWindow& window, const char* caption) {
    QTest::mouseClick(&window.button(QString::fromLatin1(caption)), Qt::LeftButton);
}

void tick(ui::ProgramWindow& window, int times) {
    for (int i = 0; i < times; ++i)
        window.playerAdapter().tick();
}

// Where the drive plays now.
SubChannelPosition drive(ui::ProgramWindow& window) {
    SubChannelPosition position;
    cdEngine().readSubChannel(window.discSession().handle(), position);
    return position;
}

// The drive plays from within a second after `lba`.
bool drivePlaysNear(ui::ProgramWindow& window, std::int32_t lba) {
    const SubChannelPosition position = drive(window);
    return position.audioStatus == AudioStatus::Playing && position.absoluteLba >= lba &&
           position.absoluteLba < lba + 75;
}

// The playback streams the sound server has now.
std::size_t playbackStreams() {
    const std::string list = runCommand("pactl list short sink-inputs").value_or("");
    return static_cast<std::size_t>(std::count(list.begin(), list.end(), '\n'));
}

}  // namespace

class TransportTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { prepareProgramEnvironment(); }

    void cdModePlaysTheDiscAndKeepsTime() {
        ProgramHarness h;
        ui::ProgramWindow& window = h.window();
        window.showRipView();
        QCOMPARE(window.discSession().startEngine(), DriveSearch::Found);
        QCOMPARE(window.discSession().rebuild(), 1);
        QCOMPARE(window.playerAdapter().mode(), ui::PlayerMode::Cd);

        // No row selected: from the first track on to the lead-out.
        click(window, "Play");
        QVERIFY(drivePlaysNear(window, 0));
        QCOMPARE(transportControls(window), kPlaying);
        QVERIFY(window.playerAdapter().clock().isActive());
        QCOMPARE(window.playerAdapter().clock().interval(), 1000);
        tick(window, 3);
        QCOMPARE(shown(window), (StatusArea{"PLAY", "Track 01", "00:04 / 00:05"}));
        QCOMPARE(window.seekSlider().value(), 8000);

        click(window, "Next");
        QVERIFY(drivePlaysNear(window, 375));
        QCOMPARE(shown(window), (StatusArea{"PLAY", "Track 02", "00:01 / 00:12"}));
        click(window, "Next");
        click(window, "Next");  // on the last track: that track again
        QVERIFY(drivePlaysNear(window, 1275));
        QCOMPARE(shown(window), (StatusArea{"PLAY", "Track 03", "00:01 / 00:07"}));
        click(window, "Pre");
        click(window, "Pre");
        click(window, "Pre");  // on the first track: that track again
        QVERIFY(drivePlaysNear(window, 0));
        QCOMPARE(shown(window), (StatusArea{"PLAY", "Track 01", "00:01 / 00:05"}));

        // Pausing greys Next, Previous and the seek slider and holds the clock.
        click(window, "Pause");
        QCOMPARE(transportControls(window), kPaused);
        QCOMPARE(drive(window).audioStatus, AudioStatus::Paused);
        QCOMPARE(shown(window).state, std::string("PAUSE"));
        QVERIFY(!window.playerAdapter().clock().isActive());
        tick(window, 2);
        QCOMPARE(shown(window).times, std::string("00:01 / 00:05"));
        click(window, "Pause");
        QCOMPARE(transportControls(window), kPlaying);
        QCOMPARE(drive(window).audioStatus, AudioStatus::Playing);
        QVERIFY(window.playerAdapter().clock().isActive());

        // Previous and Next played single tracks; Play runs to the lead-out, where the clock
        // stops the drive: from 00:03 to 00:27, 24 ticks.
        click(window, "Play");
        tick(window, 23);
        QCOMPARE(shown(window).times, std::string("00:07 / 00:07"));
        tick(window, 1);
        QCOMPARE(shown(window).state, std::string("STOP"));
        QCOMPARE(transportControls(window), kStopped);
        QCOMPARE(window.seekSlider().value(), 0);
        QVERIFY(drive(window).audioStatus != AudioStatus::Playing);
        QVERIFY(!window.playerAdapter().clock().isActive());
    }

    void leavingTheRipViewStopsTheDriveAndTheBarFollowsTheFilePlayer() {
        ProgramHarness h;
        ui::ProgramWindow& window = h.window();
        window.showRipView();
        QCOMPARE(window.discSession().startEngine(), DriveSearch::Found);
        QCOMPARE(window.discSession().rebuild(), 1);
        click(window, "Play");
        QVERIFY(drivePlaysNear(window, 0));
        window.showConvertView();
        QVERIFY(drive(window).audioStatus != AudioStatus::Playing);
        QCOMPARE(window.playerAdapter().mode(), ui::PlayerMode::File);
        QCOMPARE(shown(window), (StatusArea{"STOP", "", ""}));
        QCOMPARE(transportControls(window), kStopped);
        QVERIFY(!window.playerAdapter().clock().isActive());
    }

    void fileModePlaysTheRowsOfTheConvertList() {
        ProgramHarness h;
        ui::ProgramWindow& window = h.window();
        h.addFiles({3, 5});
        QCOMPARE(window.playerAdapter().mode(), ui::PlayerMode::File);
        h.selectRows({1});
        click(window, "Play");
        QCOMPARE(shown(window), (StatusArea{"PLAY", "1 song.wav", "00:00 / 00:05"}));
        QCOMPARE(transportControls(window), kPlaying);
        QTRY_COMPARE(playbackStreams(), std::size_t(1));
        tick(window, 3);
        QCOMPARE(shown(window).times, std::string("00:03 / 00:05"));
        QCOMPARE(window.seekSlider().value(), 6000);

        click(window, "Pause");
        QCOMPARE(transportControls(window), kPaused);
        QCOMPARE(shown(window).state, std::string("PAUSE"));
        click(window, "Pause");
        QCOMPARE(transportControls(window), kPlaying);

        // The clock leaves the thumb alone while the user holds it.
        ui::JumpSlider& seek = window.seekSlider();
        seek.setSliderDown(true);
        seek.setValue(100);
        tick(window, 1);
        QCOMPARE(seek.value(), 100);
        QCOMPARE(shown(window).times, std::string("00:04 / 00:05"));
        seek.setSliderDown(false);
        // A click on the seek slider plays from there; the clock starts a new second.
        QTest::mouseClick(&seek, Qt::LeftButton, {}, QPoint(7 + (seek.width() - 14) * 3 / 10, 9));
        QCOMPARE(shown(window).times, std::string("00:01 / 00:05"));
        QVERIFY(window.playerAdapter().clock().isActive());

        h.view().table().clearSelection();
        click(window, "Pre");
        QCOMPARE(shown(window), (StatusArea{"PLAY", "0 song.wav", "00:00 / 00:03"}));
        click(window, "Pre");  // the first row again
        QCOMPARE(shown(window).title, std::string("0 song.wav"));
        click(window, "Next");
        click(window, "Next");  // the last row again
        QCOMPARE(shown(window).title, std::string("1 song.wav"));
        click(window, "Play");  // no row selected: the current one
        QCOMPARE(shown(window).title, std::string("1 song.wav"));

        // The clock finds the end: 5 seconds, then the sixth tick stops.
        tick(window, 5);
        QCOMPARE(shown(window).state, std::string("PLAY"));
        tick(window, 1);
        QCOMPARE(shown(window), (StatusArea{"STOP", "", ""}));
        QCOMPARE(transportControls(window), kStopped);
        QTRY_COMPARE(playbackStreams(), std::size_t(0));
    }

    void theVolumeSliderSetsTheOutputAndFollowsItsChanges() {
        PulseServer& server = soundServer();
        server.pactl("set-sink-volume t 50%");
        server.pactl("set-sink-mute t 1");
        ProgramHarness h;
        ui::JumpSlider& slider = h.window().volumeSlider();
        QVERIFY(slider.isEnabled());
        QVERIFY(std::abs(slider.value() - 5000) <= 1);
        QVERIFY(!server.sinkMuted());  // start-up unmutes

        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(slider.width() / 2, 2));
        QCOMPARE(slider.value(), 0);
        QCOMPARE(server.sinkVolumes(), (std::vector<long>{65536, 65536}));
        QTest::mouseClick(&slider, Qt::LeftButton, {},
                          QPoint(slider.width() / 2, slider.height() - 2));
        QCOMPARE(slider.value(), 10000);
        QCOMPARE(server.sinkVolumes(), (std::vector<long>{0, 0}));

        // Changed elsewhere: the slider follows.
        server.pactl("set-sink-volume t 25%");
        QTRY_VERIFY(std::abs(h.window().volumeSlider().value() - 7500) <= 1);
        server.pactl("set-sink-volume t 100%");
        QTRY_COMPARE(h.window().volumeSlider().value(), 0);
    }

    void withoutASoundServerTheFilePlayerAndTheVolumeSayWhy() {
        ProgramHarness h(false);
        ui::ProgramWindow& window = h.window();
        h.addFiles({1});
        ui::BitmapButton& play = window.button(QStringLiteral("Play"));
        QVERIFY(!play.isEnabled());
        QVERIFY2(play.toolTip().contains(QStringLiteral("Sound server unavailable")),
                 qPrintable(play.toolTip()));
        QVERIFY(!window.volumeSlider().isEnabled());
        QVERIFY(window.volumeSlider().toolTip().startsWith(QStringLiteral("Volume (")));
        QCOMPARE(window.volumeSlider().value(), 10000);
        const std::unique_ptr<QMenu> menu = h.view().makeContextMenu();
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Play"))
                QVERIFY(!action->isEnabled());
        // A Play sent anyway plays nothing and asks nothing.
        window.handleMessage(UM_PLAY_TRACK);
        QVERIFY(!h.view().isPlaying());
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{});

        // The drive plays by itself: CD mode stays usable.
        window.showRipView();
        QVERIFY(play.isEnabled());
        QCOMPARE(play.toolTip(), QStringLiteral("Play"));
    }
};

const GuiTestRegistration<TransportTest> kTransport;

}  // namespace tonalda::test

#include "transport_test.moc"
