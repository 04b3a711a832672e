// The convert view in the program's window: adding, removing and clearing files, the tag editor,
// the context menu's rules, conversions with their statuses and progress, Cancel, Open, F1 and
// the questions before a job and before the program ends.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "gui_test_support.h"
#include "platform/registry.h"
#include "platform/worker_pool.h"
#include "program_harness.h"
#include "ui/bitmap_button.h"
#include "ui/convert_list_model.h"
#include "ui/convert_view.h"
#include "ui/id3_tag_dialog.h"
#include "ui/status_display.h"
#include "ui/text_progress_bar.h"

namespace tonalda::test {

namespace {

using Command = ui::ConvertView::Command;

QString cell(ui::ConvertView& view, int row, int column) {
    return view.model().index(row, column).data().toString();
}

QStringList column(ui::ConvertView& view, int which) {
    QStringList texts;
    for (int row = 0; row < view.model().rowCount(); ++row)
        texts.push_back(cell(view, row, which));
    return texts;
}

// Runs `answer` on the next modal widget as soon as it shows (file dialogs, the tag editor).
template <typename Dialog>
void whenModalShows(std::function<void(Dialog&)> answer) {
    // Each pending timer keeps the poll alive; the poll only knows itself weakly, so it goes
    // once the dialog was answered.
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [answer, self = std::weak_ptr(poll)] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget()))
            answer(*dialog);
        else if (auto next = self.lock())
            QTimer::singleShot(10, [next] { (*next)(); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}

// Which items of the context menu are enabled, by text.
std::map<QString, bool> menuStates(ui::ConvertView& view) {
    std::map<QString, bool> states;
    const std::unique_ptr<QMenu> menu = view.makeContextMenu();
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            states[action->text()] = action->isEnabled();
    return states;
}

std::vector<QString> enabledItems(ui::ConvertView& view) {
    std::vector<QString> enabled;
    for (const auto& [text, on] : menuStates(view))
        if (on)
            enabled.push_back(text);
    return enabled;
}

}  // namespace

class ConvertViewTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { prepareProgramEnvironment(); }

    void addedFilesShowTheirColumnsAndADuplicateIsReportedNotAdded() {
        ProgramHarness h;
        const QStringList first = h.addFiles({1.5, 0.25});
        ui::ConvertView& view = h.view();
        QCOMPARE(view.model().rowCount(), 2);
        QCOMPARE(cell(view, 0, kConvertFilename), QStringLiteral("0 song"));
        QCOMPARE(cell(view, 0, kConvertPath), first[0]);
        QCOMPARE(cell(view, 0, kConvertSize), QStringLiteral("0.25 MB"));  // 264644 bytes
        QVERIFY(!cell(view, 0, kConvertType).isEmpty());
        QVERIFY(cell(view, 0, kConvertStatus).isEmpty());
        // Every column right-aligned but the first; one icon for every row.
        const auto alignment = [&](int row, int col) {
            return view.model().index(row, col).data(Qt::TextAlignmentRole).toInt() &
                   Qt::AlignHorizontal_Mask;
        };
        QCOMPARE(alignment(1, kConvertFilename), int(Qt::AlignLeft));
        for (int col = kConvertPath; col < kConvertColumnCount; ++col)
            QCOMPARE(alignment(1, col), int(Qt::AlignRight));
        const qint64 icon = view.model().fileIcon().cacheKey();
        QVERIFY(!view.model().fileIcon().isNull());

        // A selection holding a listed file and a new one: the message, and the new one added.
        const QString third = h.wav("third.WAV", 0.1);
        view.addFiles({first[1], third});
        QCOMPARE(h.prompter.texts(),
                 std::vector<std::string>{first[1].toStdString() + "\nhas already been added."});
        QCOMPARE(column(view, kConvertPath), (QStringList{first[0], first[1], third}));
        QCOMPARE(cell(view, 2, kConvertFilename), QStringLiteral("third"));

        // Clear, then a later file: the first file's icon stays the rows' icon.
        view.run(Command::Clear);
        QCOMPARE(view.model().rowCount(), 0);
        view.run(Command::Clear);  // nothing to clear: no question, no change
        QCOMPARE(h.prompter.texts().size(), std::size_t(1));
        view.addFiles({third});
        QCOMPARE(view.model().fileIcon().cacheKey(), icon);
    }

    void theAddDialogOffersWavFilesAndTakesSeveralAtOnce() {
        ProgramHarness h;
        h.window().showConvertView();
        const QString a = h.wav("a.wav", 0.1);
        const QString b = h.wav("b.wav", 0.1);
        QStringList filters;
        whenModalShows<QFileDialog>([&](QFileDialog& dialog) {
            filters = dialog.nameFilters();
            QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
            dialog.setDirectory(QString::fromStdString(h.scratch.path().string()));
            dialog.selectFile(QStringLiteral("\"a.wav\" \"b.wav\""));
            QMetaObject::invokeMethod(&dialog, "accept");
        });
        QTest::mouseClick(&h.view().button(Command::Add), Qt::LeftButton);
        QCOMPARE(filters, QStringList{QStringLiteral("Audio Files (*.wav)")});
        QCOMPARE(column(h.view(), kConvertPath), (QStringList{a, b}));
    }

    void droppedWavFilesAreAddedAndOtherFilesAreNot() {
        ProgramHarness h;
        h.window().showConvertView();
        ui::ConvertView& view = h.view();
        const QString wav = h.wav("dropped.wav", 0.1);
        const QString upper = h.wav("LOUD.WAV", 0.1);
        const QString text = QString::fromStdString((h.scratch / "notes.txt").string());
        writeFile(h.scratch / "notes.txt", "not audio");
        auto drop = [&](const QStringList& files) {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& file : files)
                urls.push_back(QUrl::fromLocalFile(file));
            data.setUrls(urls);
            const QPoint at = view.table().geometry().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&view, &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&view, &dropped);
            return true;
        };
        QVERIFY(!drop({text}));
        QVERIFY(drop({text, wav, upper}));
        QCOMPARE(column(view, kConvertPath), (QStringList{wav, upper}));
    }

    void removeTakesTheSelectedRowsAndOnlyThose() {
        ProgramHarness h;
        const QStringList files = h.addFiles({0.1, 0.1, 0.1, 0.1, 0.1});
        ui::ConvertView& view = h.view();
        QTest::mouseClick(&view.button(Command::Remove), Qt::LeftButton);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{"Please select a wav file!\n"});
        QCOMPARE(view.model().rowCount(), 5);

        h.selectRows({2, 3});
        QTest::mouseClick(&view.button(Command::Remove), Qt::LeftButton);
        QCOMPARE(column(view, kConvertPath), (QStringList{files[0], files[1], files[4]}));
        QCOMPARE(view.list().lastRow(), 2);

        QTest::mouseClick(&view.button(Command::Clear), Qt::LeftButton);
        QCOMPARE(view.model().rowCount(), 0);
        QCOMPARE(view.list().lastRow(), -1);
    }

    void theTagEditorChangesTheFirstSelectedRowsRecord() {
        ProgramHarness h;
        const QStringList files = h.addFiles({0.1, 0.1, 0.1});
        ui::ConvertView& view = h.view();
        QTest::mouseClick(&view.button(Command::EditTag), Qt::LeftButton);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{"Invalid Selection"});

        h.selectRows({2, 1});
        QString heading;
        whenModalShows<ui::Id3TagDialog>([&](ui::Id3TagDialog& dialog) {
            heading = dialog.findChild<QLineEdit*>(QStringLiteral("heading"))->text();
            dialog.versionSwitch(2).click();
            dialog.field(2, QStringLiteral("Title"))->setText(QStringLiteral("Ñandú – 東京"));
            dialog.genre(2).setCurrentIndex(24);
            dialog.writeButton().click();
        });
        QTest::mouseClick(&view.button(Command::EditTag), Qt::LeftButton);
        QCOMPARE(heading, files[1]);
        const TagInfo& edited = *view.list().row(1).tag;
        QCOMPARE(edited.isV2, std::uint8_t(1));
        QCOMPARE(QString::fromStdString(edited.Title2), QStringLiteral("Ñandú – 東京"));
        QCOMPARE(edited.Genre2, 24);
        QCOMPARE(*view.list().row(2).tag, TagInfo{});
        QVERIFY(h.window().discInfoChanged());

        // A double click edits the row clicked.
        whenModalShows<ui::Id3TagDialog>([&](ui::Id3TagDialog& dialog) {
            heading = dialog.findChild<QLineEdit*>(QStringLiteral("heading"))->text();
            dialog.reject();
        });
        QTableView& table = view.table();
        const QRect row2 = table.visualRect(table.model()->index(2, kConvertSize));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, row2.center());
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, row2.center());
        QCOMPARE(heading, files[2]);
    }

    void cancelDuringTheSecondFileCancelsItAndTheRest() {
        ProgramHarness h;
        // The files are taken up by as many encoders as there are cores: with two or more the
        // third is encoded beside the second, with one it waits.
        h.addFiles({0.5, 240, 240});
        ui::ConvertView& view = h.view();
        QSignalSpy ended(&view, &ui::ConvertView::jobEnded);
        QTest::mouseClick(&view.button(Command::Mp3), Qt::LeftButton);
        QVERIFY(view.busy());
        // Only Cancel and Open while the job runs; the main window keeps still.
        for (const Command command : {Command::Add, Command::Remove, Command::Clear,
                                      Command::EditTag, Command::Mp3, Command::Wma, Command::Ogg})
            QVERIFY(!view.button(command).isEnabled());
        QVERIFY(view.button(Command::Cancel).isEnabled());
        QVERIFY(view.button(Command::Open).isEnabled());
        for (const char* caption : {"Rip", "Convert", "Play"})
            QVERIFY(!h.window().button(QString::fromLatin1(caption)).isEnabled());
        QCOMPARE(enabledItems(view), std::vector<QString>{QStringLiteral("Cancel")});

        QTRY_COMPARE(cell(view, 1, kConvertStatus), QStringLiteral("Encoding"));
        QTRY_COMPARE(cell(view, 0, kConvertStatus), QStringLiteral("Encoded"));
        QTRY_COMPARE(cell(view, 2, kConvertStatus),
                     availableCores() > 1 ? QStringLiteral("Encoding") : QStringLiteral("Waiting"));
        // The running row carries its bar in its Progress cell.
        QVERIFY(view.progressBars().count(1) == 1);
        const ui::TextProgressBar* bar = view.progressBars().at(1);
        const QRect progressCell = view.table().visualRect(view.model().index(1, kConvertProgress));
        const QRect barRect(bar->mapTo(view.table().viewport(), QPoint(0, 0)), bar->size());
        QCOMPARE(barRect.left(), progressCell.left());
        QCOMPARE(barRect.top(), progressCell.top() + 2);
        QCOMPARE(barRect.height(), progressCell.height() - 4);
        QTRY_VERIFY(bar->position() > 0);
        QVERIFY(bar->shownText().endsWith(QLatin1Char('%')));

        QTest::mouseClick(&view.button(Command::Cancel), Qt::LeftButton);
        QVERIFY(!view.button(Command::Cancel).isEnabled());
        QVERIFY(!view.button(Command::Add).isEnabled());  // until the job's end
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(column(view, kConvertStatus), (QStringList{"Encoded", "Canceled", "Canceled"}));
        QVERIFY(view.progressBars().empty());
        QVERIFY(std::filesystem::exists(h.encodeFolder() / "0 song.mp3"));
        QVERIFY(!std::filesystem::exists(h.encodeFolder() / "1 song.mp3"));
        QVERIFY(!std::filesystem::exists(h.encodeFolder() / "2 song.mp3"));
        QVERIFY(view.button(Command::Add).isEnabled());
        QVERIFY(!view.button(Command::Cancel).isEnabled());
        for (const char* caption : {"Rip", "Convert", "Play"})
            QVERIFY(h.window().button(QString::fromLatin1(caption)).isEnabled());
    }

    void aJobAsksBeforeItStopsTheFileThatPlays() {
        ProgramHarness h;
        h.addFiles({30, 0.5});
        ui::ConvertView& view = h.view();
        h.selectRows({0});
        QTest::mouseClick(&h.window().button(QStringLiteral("Play")), Qt::LeftButton);
        QVERIFY(view.isPlaying());

        h.prompter.scriptAnswer(PromptAnswer::Cancel);
        QTest::mouseClick(&view.button(Command::Ogg), Qt::LeftButton);
        QCOMPARE(h.prompter.texts(),
                 std::vector<std::string>{"Audio playing will be stopped! would you like to "
                                          "continue?"});
        QVERIFY(view.isPlaying());
        QVERIFY(!view.busy());
        QCOMPARE(column(view, kConvertStatus), (QStringList{"", ""}));

        // OK: the player stops and the job runs.
        QSignalSpy ended(&view, &ui::ConvertView::jobEnded);
        QTest::mouseClick(&view.button(Command::Ogg), Qt::LeftButton);
        QVERIFY(!view.isPlaying());
        QVERIFY(view.busy());
        QTRY_COMPARE(ended.count(), 1);
    }

    void contextMenuFollowsTheJobAndThePlayer() {
        ProgramHarness h;
        h.window().showConvertView();
        ui::ConvertView& view = h.view();
        const std::vector<QString> idle = {
            "Add",        "Clear", "Convert to Mp3", "Convert to Ogg", "Convert to WMA",
            "ID3 tag...", "Play",  "Remove"};
        QCOMPARE(enabledItems(view), idle);

        h.addFiles({20, 20});
        QTest::mouseClick(&h.window().button(QStringLiteral("Play")), Qt::LeftButton);
        auto playing = idle;
        for (const char* item : {"Next", "Pause", "Previous", "Stop"})
            playing.push_back(QString::fromLatin1(item));
        std::sort(playing.begin(), playing.end());
        QCOMPARE(enabledItems(view), playing);

        // The menu's own Pause: Next and Previous go grey until it resumes.
        const std::unique_ptr<QMenu> menu = view.makeContextMenu();
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Pause"))
                action->trigger();
        QVERIFY(view.player().paused());
        std::map<QString, bool> paused = menuStates(view);
        QVERIFY(!paused[QStringLiteral("Next")] && !paused[QStringLiteral("Previous")]);
        QVERIFY(paused[QStringLiteral("Pause")] && paused[QStringLiteral("Stop")]);
        h.window().handleMessage(UM_STOP_PLAY);
        QCOMPARE(enabledItems(view), idle);
    }

    void closingDuringAJobAsksAndYesStopsItFirst() {
        ProgramHarness h;
        h.addFiles({40});
        ui::ConvertView& view = h.view();
        QTest::mouseClick(&view.button(Command::Mp3), Qt::LeftButton);
        QTRY_COMPARE(cell(view, 0, kConvertStatus), QStringLiteral("Encoding"));

        h.prompter.scriptAnswer(PromptAnswer::No);
        QVERIFY(!h.window().close());
        QCOMPARE(h.prompter.texts().back(), std::string("Would you like to stop encoding?"));
        QVERIFY(view.busy());
        QVERIFY(h.window().isVisible());

        h.prompter.scriptAnswer(PromptAnswer::Yes);
        QVERIFY(h.window().close());
        // The close waited for the job's end.
        QVERIFY(!view.busy());
        QCOMPARE(cell(view, 0, kConvertStatus), QStringLiteral("Canceled"));
        QVERIFY(!std::filesystem::exists(h.encodeFolder() / "0 song.mp3"));
    }

    void theWindowGoingDuringAJobStopsItAndLeavesNoPartialFile() {
        ProgramHarness h;
        h.addFiles({40});
        QTest::mouseClick(&h.view().button(Command::Mp3), Qt::LeftButton);
        QTRY_VERIFY(h.view().progressBars().count(0) == 1);
        h.destroyWindow();
        QVERIFY(std::filesystem::is_empty(h.encodeFolder()));
    }

    void closingWhilePlayingAsksToStopPlaying() {
        ProgramHarness h;
        h.addFiles({20});
        QTest::mouseClick(&h.window().button(QStringLiteral("Play")), Qt::LeftButton);
        h.prompter.scriptAnswer(PromptAnswer::Cancel);
        QVERIFY(!h.window().close());
        QCOMPARE(h.prompter.texts().back(), std::string("Would you like to stop playing?"));
        QVERIFY(h.view().isPlaying());
        h.prompter.scriptAnswer(PromptAnswer::Yes);
        QVERIFY(h.window().close());
        QVERIFY(!h.view().isPlaying());
        QCOMPARE(h.window().statusDisplay().line().state, std::string("STOP"));
    }

    void f1InTheViewOpensTheHelpFileAndOtherKeysDoNot() {
        ProgramHarness h;
        h.addFiles({0.1});
        const std::filesystem::path install = h.scratch / "install";
        std::filesystem::create_directories(install / "help");
        writeFile(install / "help" / "Tonalda.html", "<html></html>");
        auto setup = Registry::instance().openKey(registryKeyPath("Setup"), RegistryAccess::Write);
        QVERIFY(setup && setup->writeString("path", install.string()));

        h.window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&h.window()));
        QTableView& table = h.view().table();
        table.setFocus();
        QTest::keyClick(&table, Qt::Key_A);
        QTest::keyClick(&table, Qt::Key_F2);
        QVERIFY(h.openedUrls.empty());
        QTest::keyClick(&table, Qt::Key_F1);
        QCOMPARE(h.openedUrls.size(), std::size_t(1));
        QCOMPARE(h.openedUrls[0].toLocalFile(),
                 QString::fromStdString((install / "help" / "Tonalda.html").string()));
    }
};

const GuiTestRegistration<ConvertViewTest> kConvertView;

}  // namespace tonalda::test

#include "convert_view_test.moc"
