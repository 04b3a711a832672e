// The rip view's dialogs and what it shares with the convert view: the "Rip Segment" dialog ripping
// a range across two tracks, a CDDB lookup and submission against a server on loopback, and the
// list's progress bars over their cells.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>

#include "cdinfo/cddb_client.h"
#include "cdinfo/cddb_jobs.h"
#include "cdinfo/cddb_test_server.h"
#include "cdinfo/disc_identity.h"
#include "codecs/genres.h"
#include "codecs/output_settings.h"
#include "rip/segment_rip.h"
#include "rip_view_harness.h"
#include "ui/rip/segment_dialog.h"
#include "ui/skinned_list.h"
#include "ui/text_progress_bar.h"

namespace tonalda::test {

namespace {

QLineEdit* line(QWidget& parent, const char* name) {
    return parent.findChild<QLineEdit*>(QString::fromLatin1(name));
}

QComboBox* list(QWidget& parent, const char* name) {
    return parent.findChild<QComboBox*>(QString::fromLatin1(name));
}

// Types a frame into a frame box and ends the typing with Enter.
void typeFrame(ui::FrameBox& box, std::uint64_t frame) {
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&box, QString::number(frame));
    QTest::keyClick(&box, Qt::Key_Return);
}

// The disc's frames read plainly through the session.
std::string discAudio(CdEngine& engine, int handle, std::uint32_t first, std::uint32_t count) {
    std::string audio;
    FrameBuffer block = FrameBuffer::forFrames(20);
    for (std::uint32_t at = first; at < first + count;) {
        block.startFrame = at;
        block.frameCount = std::min<std::uint32_t>(20, first + count - at);
        if (engine.readCDAudio(handle, block) != 1)
            return {};
        audio.append(reinterpret_cast<const char*>(block.data.data()), block.length);
        at += block.frameCount;
    }
    return audio;
}

// A segment dialog with the view's parts and a rip of its own.
struct SegmentHarness {
    explicit SegmentHarness(RipViewHarness& h)
        : job(h.engine(), Registry::instance(), h.prompter, h.window().events().queue()),
          dialog({h.disc(), h.engine(), job, h.window().events(), h.prompter, h.chooser()}) {
        dialog.show();
    }
    bool waitForIdle() {
        return QTest::qWaitFor([this] { return !dialog.busy(); }, 30000);
    }
    SegmentRip job;
    ui::SegmentDialog dialog;
};

// The lookups go to the test's server: its port in the hive, its host for every server of the
// list.
void onLoopback(const testing::CddbTestServer& server) {
    writeHiveDword("FreeDB", "Port", static_cast<std::uint32_t>(server.port()));
    setenv("TONALDA_CDDB_HOST", "127.0.0.1", 1);
    cddb::resetCddbConfig();
}

}  // namespace

class RipDialogsTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() { writeDefaultHive(); }
    void cleanup() { unsetenv("TONALDA_CDDB_HOST"); }

    void theSegmentDialogOpensOnTheWholeDiscAndHoldsItsEndsInPlace() {
        RipViewHarness h("gen:seed 6/track audio 0:02/track audio 0:04,noaudio");
        SegmentHarness s(h);
        ui::SegmentDialog& dialog = s.dialog;
        const std::uint32_t length = h.disc().leadOutFrame();
        QCOMPARE(length, 450u);
        // The start box, its slider and the segment agree from the start.
        QCOMPARE(dialog.startBox().value(), 0);
        QCOMPARE(dialog.endBox().value(), 450);
        QCOMPARE(dialog.readOut("totalFrames"), QStringLiteral("450"));
        QCOMPARE(dialog.readOut("totalTime"), QStringLiteral("0:6"));
        QCOMPARE(dialog.readOut("endTrack"), QStringLiteral("2"));
        QCOMPARE(dialog.readOut("endTime"), QStringLiteral("0:4"));
        QVERIFY(!dialog.button("cancel").isEnabled());

        // The start slider cannot pass the end slider: the segment is then empty.
        dialog.startSlider().setValue(10000);
        QCOMPARE(dialog.startSlider().value(), dialog.endSlider().value());
        QCOMPARE(dialog.readOut("totalFrames"), QStringLiteral("0"));
        QCOMPARE(dialog.readOut("totalTime"), QStringLiteral("0:0"));
        QCOMPARE(dialog.readOut("totalSize"), QStringLiteral("0.00 MB"));
        QVERIFY(!dialog.button("begin").isEnabled());

        // A frame beyond the disc is answered with "exceed" and the disc's end.
        dialog.startSlider().setValue(0);
        typeFrame(dialog.endBox(), length + 1);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{"exceed"});
        QCOMPARE(dialog.endBox().value(), 450);
        QCOMPARE(dialog.selection().end(), 450u);
        typeFrame(dialog.startBox(), 200);
        QCOMPARE(dialog.readOut("startTrack"), QStringLiteral("2"));  // a track's first frame
        QCOMPARE(dialog.readOut("startTime"), QStringLiteral("0:0"));

        // Play has the drive play from the segment's first frame, not two seconds before it.
        dialog.button("play").click();
        SubChannelPosition position;
        QCOMPARE(h.engine().readSubChannel(h.disc().handle(), position), 1);
        QCOMPARE(position.audioStatus, AudioStatus::Playing);
        QVERIFY(position.absoluteLba >= 200 && position.absoluteLba < 275);
        dialog.button("stop").click();
        QCOMPARE(h.engine().readSubChannel(h.disc().handle(), position), 1);
        QVERIFY(position.audioStatus != AudioStatus::Playing);

        // Change... offers the format's one filter; a chosen name keeps the format's extension.
        h.chosenFile = QString::fromStdString((h.ripFolder() / "Chosen").string());
        dialog.button("change").click();
        QCOMPARE(h.chooserFilters, std::vector<QString>{QStringLiteral("Mp3 files(*.mp3) mp3")});
        QCOMPARE(dialog.outputEdit().text(),
                 QString::fromStdString((h.ripFolder() / "Chosen.mp3").string()));
        dialog.button("exit").click();
        QVERIFY(!dialog.isVisible());
    }

    void aSegmentAcrossTwoTracksWritesExactlyItsFrames() {
        RipViewHarness h("gen:seed 7/track audio 0:02/track audio 0:02,noaudio");
        outputSettings().format = 0;  // WAV: the file holds the frames as read
        SegmentHarness s(h);
        ui::SegmentDialog& dialog = s.dialog;
        typeFrame(dialog.endBox(), 190);
        typeFrame(dialog.startBox(), 100);
        QCOMPARE(dialog.readOut("totalFrames"), QStringLiteral("90"));
        QCOMPARE(dialog.readOut("startTrack"), QStringLiteral("1"));
        QCOMPARE(dialog.readOut("endTrack"), QStringLiteral("2"));
        // A typed name counts, in the rip folder and with the format's extension.
        dialog.outputEdit().setText(QStringLiteral("  across  "));
        dialog.button("begin").click();
        QVERIFY(dialog.busy());
        QVERIFY(!dialog.button("begin").isEnabled());
        QVERIFY(dialog.button("cancel").isEnabled());
        QVERIFY(s.waitForIdle());
        QCOMPARE(dialog.statusText(), QStringLiteral("Finished"));
        QVERIFY(dialog.button("begin").isEnabled());

        const auto output = h.ripFolder() / "across.wav";
        QCOMPARE(filesUnder(h.ripFolder()), std::vector<std::filesystem::path>{output});
        const std::string wav = readFile(output);
        QCOMPARE(wav.size(), 44u + 90u * 2352u);
        const std::string expected = discAudio(h.engine(), h.disc().handle(), 100, 90);
        QCOMPARE(expected.size(), 90u * 2352u);
        QVERIFY(wav.compare(44, std::string::npos, expected) == 0);
        QVERIFY(filesUnder(h.tempFolder()).empty());
        dialog.exit();
    }

    void aReadErrorInTheSegmentStopsItWithoutAFile() {
        RipViewHarness h("gen:seed 7/track audio 0:02/track audio 0:02,noaudio,fail=170-170");
        SegmentHarness s(h);
        ui::SegmentDialog& dialog = s.dialog;
        dialog.button("begin").click();
        QVERIFY(s.waitForIdle());
        QCOMPARE(dialog.statusText(), QStringLiteral("Error"));
        QCOMPARE(promptsStartingWith(h.prompter, "Error at "), 1);
        QVERIFY(filesUnder(h.ripFolder()).empty());
        QVERIFY(filesUnder(h.tempFolder()).empty());
        QVERIFY(dialog.button("begin").isEnabled());
        dialog.exit();
    }

    void exitDuringASegmentRipClosesOnceTheRipHasStopped() {
        RipViewHarness h("gen:seed 7/track audio 0:08/track audio 0:08,noaudio,speed=2");
        SegmentHarness s(h);
        ui::SegmentDialog& dialog = s.dialog;
        dialog.button("begin").click();
        QVERIFY(QTest::qWaitFor([&] { return dialog.progressBar().position() > 0; }, 30000));
        dialog.button("exit").click();
        QVERIFY(dialog.isVisible());  // the rip winds down first
        QCOMPARE(dialog.statusText(), QStringLiteral("Canceled"));
        QVERIFY(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 30000));
        QVERIFY(!s.job.running());
        QVERIFY(filesUnder(h.ripFolder()).empty());
        QVERIFY(filesUnder(h.tempFolder()).empty());
    }

    void aLookupFillsTheTitlesAndTheDiscFieldsAndASubmissionReachesTheServer() {
        testing::CddbFixtures fixtures;
        testing::CddbTestServer server(std::ref(fixtures));
        RipViewHarness h("gen:seed 12/track audio 0:02/track audio 0:03/track audio 0:02,noaudio",
                         [&](RipViewHarness&) { onLoopback(server); });
        const auto identity = h.disc().readDiscIdentity();
        QVERIFY(identity);
        char id[16];
        std::snprintf(id, sizeof id, "%08x", identity->discId);
        fixtures.setQueryReply(id, std::string("200 jazz ") + id + " Night Owls / Late Hours\r\n");
        std::string entry = "# xmcd\n# Track frame offsets:\n";
        for (int track = 0; track < identity->trackCount; ++track)
            entry += "# " + std::to_string(identity->frameOffsets[track]) + "\n";
        entry += "# Disc length: " + std::to_string(identity->leadOutSeconds) +
                 "\n# Revision: 0\nDISCID=" + id +
                 "\nDTITLE=Night Owls / Late Hours\nTTITLE0=Blue Hour\nTTITLE1=Nachtzug\n"
                 "TTITLE2=Dawn\n";
        fixtures.setEntry(id, entry);

        ui::RipView& view = h.view();
        QSignalSpy ended(&view, &ui::RipView::lookupEnded);
        view.queryCddb();
        QVERIFY(view.activityLine().isVisible());
        QVERIFY(view.button(ui::RipView::Button::Cancel).isEnabled());
        QVERIFY(ended.wait(30000));
        QTest::qWait(10);
        QCOMPARE(h.column(kColumnTitle),
                 (std::vector<std::string>{"Blue Hour", "Nachtzug", "Dawn"}));
        QCOMPARE(line(h.window(), "artist")->text(), QStringLiteral("Night Owls"));
        QCOMPARE(line(h.window(), "album")->text(), QStringLiteral("Late Hours"));
        QCOMPARE(list(h.window(), "genre")->currentText(), QStringLiteral("Jazz"));
        QCOMPARE(h.disc().rowTag(1).Album1, std::string("Late Hours"));
        QVERIFY(h.window().discInfoChanged());
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{"CDDB Query Success."});
        QVERIFY(!view.activityLine().isVisible());
        QVERIFY(!view.button(ui::RipView::Button::Cancel).isEnabled());

        // The entry goes back to the same server; its copy lands in the rip folder.
        server.clearRequests();
        view.submitToCddb();
        QVERIFY(QTest::qWaitFor([&] { return !h.disc().submit().running(); }, 30000));
        QTest::qWait(10);
        QCOMPARE(h.prompter.texts().back(), std::string("Entry submitted"));
        const auto requests = server.requests();
        QCOMPARE(requests.size(), 1u);
        QVERIFY(requests.front().body.find("TTITLE1=Nachtzug") != std::string::npos);
        QVERIFY(std::filesystem::exists(h.ripFolder() / "dblog.txt"));
    }

    void aLookupOnItsWayCanBeCancelled() {
        testing::CddbFixtures fixtures;
        testing::CddbTestServer server(std::ref(fixtures));
        server.setMode(testing::CddbTestServer::Mode::NeverAnswer);
        RipViewHarness h("gen:seed 12/track audio 0:02/track audio 0:03,noaudio",
                         [&](RipViewHarness&) { onLoopback(server); });
        ui::RipView& view = h.view();
        QSignalSpy ended(&view, &ui::RipView::lookupEnded);
        view.queryCddb();
        QTest::qWait(50);
        QVERIFY(view.lookingUp());
        QTest::mouseClick(&view.button(ui::RipView::Button::Cancel), Qt::LeftButton);
        QVERIFY(ended.wait(10000));
        QCOMPARE(h.column(kColumnTitle), (std::vector<std::string>{"Track 01", "Track 02"}));
        QVERIFY(!h.window().discInfoChanged());
        QVERIFY(h.prompter.texts().empty());
    }

    void progressBarsStayOverTheirCellsWhenTheListScrollsAndColumnsResize() {
        QStandardItemModel model(40, 3);
        ui::SkinnedList list;
        list.setModel(&model);
        list.resize(300, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        // Several rows at once, as a rip that reads one track while it encodes another.
        list.showProgress(1, 2, 250);
        list.showProgress(30, 2, 800);
        QCOMPARE(list.rowsWithProgress(), (std::vector<int>{1, 30}));
        QCOMPARE(list.progressBar(30)->shownText(), QStringLiteral("80%"));
        const auto barArea = [&](int row) {
            const ui::TextProgressBar* bar = list.progressBar(row);
            return QRect(bar->mapTo(list.viewport(), QPoint(0, 0)), bar->size());
        };
        const auto cell = [&](int row) { return list.visualRect(model.index(row, 2)); };
        const auto overItsCell = [&](int row) {
            const QRect area = barArea(row);
            return cell(row).contains(area) && area.top() == cell(row).top() + 2 &&
                   area.bottom() == cell(row).bottom() - 2;
        };
        QTest::qWait(10);
        QVERIFY(overItsCell(1));
        list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
        QTest::qWait(10);
        QVERIFY(list.progressBar(30)->isVisible());
        QVERIFY(overItsCell(30));
        list.setColumnWidth(2, 180);
        list.setColumnWidth(0, 20);
        QTest::qWait(10);
        QVERIFY(overItsCell(30));
        QVERIFY(barArea(30).width() > 170);
        list.hideProgress(1);
        QCOMPARE(list.rowsWithProgress(), std::vector<int>{30});
        list.hideAllProgress();
        QVERIFY(list.rowsWithProgress().empty());
        QVERIFY(list.findChildren<ui::TextProgressBar*>().isEmpty() || QTest::qWaitFor([&] {
                    return list.findChildren<ui::TextProgressBar*>().isEmpty();
                }));
    }
};

static const GuiTestRegistration<RipDialogsTest> kRegistration;

}  // namespace tonalda::test

#include "rip_dialogs_test.moc"
