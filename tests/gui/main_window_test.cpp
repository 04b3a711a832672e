// The main window: start-up against a hive with missing groups, view switching, the job and
// Options rules, the keys it swallows, Exit, the disc fields and help.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <fstream>

#include "cdinfo/disc_info.h"
#include "codecs/output_settings.h"
#include "gui_test_support.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "rip/disc_session.h"
#include "ui/bitmap_button.h"
#include "ui/help_launcher.h"
#include "ui/jump_slider.h"
#include "ui/main_window.h"
#include "ui/status_display.h"

namespace tonalda::test {

namespace {

std::vector<std::string> logOf(std::initializer_list<const char*> entries) {
    return {entries.begin(), entries.end()};
}

}  // namespace

class MainWindowTest final : public QObject {
    Q_OBJECT

  private:
    // One shown window per test, with recording fakes for everything it hosts.
    struct Harness {
        RecordingPrompter prompter;
        FakePlayer player;
        std::vector<std::string> viewLog;
        FakeView* ripView = nullptr;
        FakeView* convertView = nullptr;
        int sheetRuns = 0;
        std::function<void()> insideSheet;
        std::vector<QUrl> openedUrls;
        std::unique_ptr<ui::MainWindow> window;

        explicit Harness(bool withSheet = true) {
            ui::MainWindowParts parts;
            parts.prompter = &prompter;
            parts.makeRipView = [this](ui::MainWindow&) {
                auto view = std::make_unique<FakeView>("rip", viewLog);
                ripView = view.get();
                return view;
            };
            parts.makeConvertView = [this](ui::MainWindow&) {
                auto view = std::make_unique<FakeView>("convert", viewLog);
                convertView = view.get();
                return view;
            };
            if (withSheet) {
                parts.runOptionsSheet = [this](ui::MainWindow&) {
                    ++sheetRuns;
                    if (insideSheet)
                        insideSheet();
                };
            }
            parts.driveDescription = [] {
                return std::string("TONALDA Virtual CD-ROM Drive With A Long Name");
            };
            parts.openUrl = [this](const QUrl& url) {
                openedUrls.push_back(url);
                return true;
            };
            window = std::make_unique<ui::MainWindow>(std::move(parts));
            window->show();
        }
        ui::BitmapButton& button(const char* caption) {
            return window->button(QString::fromLatin1(caption));
        }
        // Hands the window the fake player, playing or not.
        void attachPlayer(bool playing) {
            window->attachPlayer(&player);
            player.playing = playing;
        }
        void click(const char* caption) { QTest::mouseClick(&button(caption), Qt::LeftButton); }
        template <typename T>
        T& child(const char* name) {
            return *window->findChild<T*>(QString::fromLatin1(name));
        }
    };

  private Q_SLOTS:
    void init() { writeDefaultHive(); }

    void aGroupMissingFromTheHiveIsReportedOnceAndStartUpGoesOn() {
        writeDefaultHive({"OGG"});
        Registry::instance()
            .openKey(registryKeyPath("Misc"), RegistryAccess::Write)
            ->writeDword("InitRipper", 0);
        Harness h;
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{std::string(kInitializationError)});
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        // The groups after OGG still loaded: Misc starts with the convert view.
        QVERIFY(h.window->convertViewShown());
        QVERIFY(h.convertView->isVisible());
        QVERIFY(!h.ripView->isVisible());

        writeDefaultHive({"MP3", "Misc"});
        Harness two;
        QCOMPARE(two.prompter.texts().size(), 2u);
        QVERIFY(two.window->isVisible());
    }

    void ripWhileTheRipViewShowsChangesNothing() {
        Harness h;
        h.attachPlayer(true);
        h.player.calls.clear();
        h.click("Rip");
        QVERIFY(h.player.calls.empty());
        QVERIFY(h.player.playing);
        QVERIFY(h.window->ripViewShown() && h.ripView->isVisible());

        // Convert hides the rip view, stops playback and greys the disc fields; Rip undoes it.
        h.click("Convert");
        QCOMPARE(h.player.calls, logOf({"stop", "file mode"}));
        QVERIFY(!h.ripView->isVisible() && h.convertView->isVisible());
        QVERIFY(!h.child<QLineEdit>("artist").isEnabled());
        QVERIFY(!h.child<QComboBox>("genre").isEnabled());
        h.click("Convert");
        QCOMPARE(h.player.calls.size(), 2u);
        h.click("Rip");
        QVERIFY(h.ripView->isVisible() && !h.convertView->isVisible());
        QVERIFY(h.child<QLineEdit>("album").isEnabled());
        QCOMPARE(h.player.calls.back(), std::string("cd mode"));
    }

    void enterAndEscapeNeverCloseTheWindow() {
        Harness h;
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        for (QWidget* target : {static_cast<QWidget*>(h.window.get()),
                                static_cast<QWidget*>(&h.child<QLineEdit>("artist")),
                                static_cast<QWidget*>(&h.child<QComboBox>("genre")),
                                static_cast<QWidget*>(&h.button("Exit"))}) {
            target->setFocus();
            for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
                QTest::keyClick(target, key);
        }
        QVERIFY(h.window->isVisible());
        QVERIFY(h.viewLog.empty());  // nobody was even asked to close
    }

    void optionsAsksBeforeStoppingWhatPlays() {
        Harness h;
        h.attachPlayer(true);
        h.prompter.scriptAnswer(PromptAnswer::Cancel);
        h.click("Option");
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{ui::kStopAudioQuestion});
        QCOMPARE(h.prompter.prompts().back().buttons, PromptButtons::OkCancel);
        QCOMPARE(h.sheetRuns, 0);
        QVERIFY(h.player.playing);

        // OK stops the player before the sheet opens; the closed sheet rebuilds the rows.
        h.insideSheet = [&] { QVERIFY(!h.player.playing); };
        h.prompter.scriptAnswer(PromptAnswer::Ok);
        h.click("Option");
        QCOMPARE(h.sheetRuns, 1);
        QCOMPARE(h.player.count("stop"), 1);
        QCOMPARE(h.viewLog, logOf({"rebuild"}));

        // Nothing plays: no question.
        h.click("Option");
        QCOMPARE(h.sheetRuns, 2);
        QCOMPARE(h.prompter.texts().size(), 2u);

        // A view's own playback counts too.
        h.convertView->playing = true;
        h.prompter.scriptAnswer(PromptAnswer::Cancel);
        h.click("Option");
        QCOMPARE(h.prompter.texts().size(), 3u);
        QCOMPARE(h.sheetRuns, 2);
    }

    void aRunningJobGreysTheButtonsAndBlocksOptions() {
        Harness h;
        h.attachPlayer(true);
        h.window->setControlEnabled(ui::TransportControl::Pause, true);
        h.window->handleMessage(UM_RIP_BEGIN);
        QCOMPARE(h.player.count("stop"), 1);
        for (const char* caption :
             {"Rip", "Convert", "Option", "Play", "Pause", "Stop", "Pre", "Next"})
            QVERIFY2(!h.button(caption).isEnabled(), caption);
        h.window->openOptions();
        h.window->showConvertView();  // what a click would do, were the button enabled
        QCOMPARE(h.sheetRuns, 0);

        h.window->handleMessage(UM_RIP_END);
        for (const char* caption : {"Rip", "Convert", "Option", "Play"})
            QVERIFY2(h.button(caption).isEnabled(), caption);
        for (const char* caption : {"Pause", "Stop", "Pre", "Next"})
            QVERIFY2(!h.button(caption).isEnabled(), caption);
    }

    void withoutAPlayerTheTransportSaysWhyItIsGrey() {
        Harness h(false);
        for (const char* caption : {"Play", "Pause", "Stop", "Pre", "Next"}) {
            QVERIFY2(!h.button(caption).isEnabled(), caption);
            QVERIFY(h.button(caption).toolTip().contains(QStringLiteral("not available")));
        }
        QVERIFY(!h.button("Option").isEnabled());
        QVERIFY(!h.window->volumeSlider().isEnabled());
        // Idle on the rip view: "STOP" and the drive's first 30 characters.
        QCOMPARE(h.window->statusDisplay().line().state, std::string("STOP"));
        QCOMPARE(h.window->statusDisplay().line().title,
                 std::string("TONALDA Virtual CD-ROM Drive W"));

        h.attachPlayer(false);
        QVERIFY(h.button("Play").isEnabled());
        QCOMPARE(h.button("Play").toolTip(), QStringLiteral("Play"));
        QVERIFY(!h.button("Pause").isEnabled());  // until the player enables it
    }

    void theSeekSliderDrivesThePlayer() {
        Harness h;
        h.attachPlayer(false);
        h.window->setControlEnabled(ui::TransportControl::Seek, true);
        h.player.calls.clear();
        QTest::mouseClick(&h.window->seekSlider(), Qt::LeftButton, {}, QPoint(284, 9));
        QCOMPARE(h.player.calls, logOf({"timer stop", "seek 5000", "timer start", "seek 5000"}));
        h.player.calls.clear();
        h.window->handleMessage(UM_NEXT_TRACK);
        h.window->handleMessage(UM_PAUSE_PLAY);
        QCOMPARE(h.player.calls, logOf({"next", "pause"}));
    }

    void exitAsksTheRipViewThenTheConvertView() {
        Harness h;
        h.ripView->agreesToClose = false;
        h.click("Exit");
        QCOMPARE(h.viewLog, logOf({"rip may close?"}));
        QVERIFY(h.window->isVisible());

        h.viewLog.clear();
        h.ripView->agreesToClose = true;
        h.convertView->agreesToClose = false;
        h.click("Exit");
        QCOMPARE(h.viewLog, logOf({"rip may close?", "convert may close?"}));
        QVERIFY(h.window->isVisible());

        h.convertView->agreesToClose = true;
        h.click("Exit");
        QVERIFY(!h.window->isVisible());
    }

    void discFieldsFeedTheRowsAndTheChangedFlag() {
        Harness h;
        DiscInfo shown;
        shown.artist = "Someone";
        shown.album = "Something";
        shown.genreIndex = 17;
        h.window->showDiscInfo(shown);
        QVERIFY(!h.window->discInfoChanged());
        QVERIFY(h.viewLog.empty());

        auto& artist = h.child<QLineEdit>("artist");
        artist.clear();
        QTest::keyClicks(&artist, QStringLiteral("Æb"));
        QCOMPARE(h.viewLog, logOf({"artist Æ", "artist Æb"}));
        QVERIFY(h.window->discInfoChanged());

        h.viewLog.clear();
        auto& genre = h.child<QComboBox>("genre");
        genre.setFocus();
        QTest::keyClick(&genre, Qt::Key_Down);
        QCOMPARE(h.viewLog, logOf({"genre 18"}));
        QCOMPARE(genre.currentText(), QStringLiteral("Techno"));
    }

    void theKeyboardAloneReachesEveryControl() {
        Harness h;
        h.attachPlayer(false);
        h.window->setControlEnabled(ui::TransportControl::Seek, true);
        h.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
        // Tab walks the top bar, the disc fields, then the transport; grey controls are skipped.
        QStringList visited;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->accessibleName();
        }
        QCOMPARE(visited, (QStringList{"Rip", "Convert", "Option", "Help", "Minimize", "Exit",
                                       "Artist", "Album", "Genre", "Play", "Seek", "Rip"}));
        // Space presses the focused button.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->accessibleName(), QStringLiteral("Convert"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(h.window->convertViewShown());
    }

    void draggingTheBodyMovesTheWindow() {
        Harness h;
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        const QPoint before = h.window->pos();
        // A point of the body that no control covers, left of the transport.
        const QPoint grip(8, 200);
        QTest::mousePress(h.window.get(), Qt::LeftButton, {}, grip);
        QTest::mouseMove(h.window.get(), grip + QPoint(40, 25));
        QTest::mouseRelease(h.window.get(), Qt::LeftButton, {}, grip + QPoint(40, 25));
        // The window system moves the window itself where it can; off screen the window follows
        // the pointer by hand.
        QCOMPARE(h.window->pos(), before + QPoint(40, 25));
    }

    void theOutputPageReachesTheRows() {
        Harness h;
        outputSettings().format = 3;
        QVERIFY(outputSettings().save(Registry::instance(),
                                      [&] { h.window->handleMessage(UM_OUTPUT_CHANGED); }));
        QCOMPARE(h.viewLog, logOf({"output 3"}));
    }

    void helpOpensTheInstalledManualOrSaysWhyNot() {
        Harness h;
        const std::filesystem::path manual = installFolder() / "help" / "Tonalda.html";
        std::filesystem::create_directories(manual.parent_path());
        std::ofstream(manual) << "<html></html>";
        h.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
        QTest::keyClick(h.window.get(), Qt::Key_F1);
        QCOMPARE(h.openedUrls.size(), 1u);
        QCOMPARE(h.openedUrls[0].toLocalFile(), QString::fromStdString(manual.string()));
        QVERIFY(h.prompter.texts().empty());

        std::filesystem::remove(manual);
        h.window->openHelp();
        QCOMPARE(h.openedUrls.size(), 1u);
        QCOMPARE(h.prompter.texts().size(), 1u);
        QVERIFY(h.prompter.texts()[0].find(manual.string()) != std::string::npos);

        writeDefaultHive({"Setup"});
        h.window->openHelp();
        QCOMPARE(h.prompter.texts().back(), std::string(ui::kOpenRegistryError));
    }
};

const GuiTestRegistration<MainWindowTest> kMainWindow;

}  // namespace tonalda::test

#include "main_window_test.moc"
