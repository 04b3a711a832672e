// The rip view with the demo disc listed, the same during a rip with a progress bar in its cell,
// the "Rip Segment" dialog over a range across two tracks, and the "ID3 Tag" editor.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>

#include "cdaccess/cd_engine.h"
#include "cdaccess/cdrom_settings.h"
#include "cdinfo/disc_info.h"
#include "platform/registry.h"
#include "rip/disc_session.h"
#include "rip/segment_rip.h"
#include "screenshots/scene.h"
#include "ui/id3_editor.h"
#include "ui/main_window.h"
#include "ui/program/program_parts.h"
#include "ui/rip/rip_view.h"
#include "ui/rip/segment_dialog.h"
#include "ui/rip/track_rows_model.h"
#include "ui/skinned_list.h"
#include "ui/text_progress_bar.h"

namespace tonalda::screenshots {

namespace {

ui::MainWindowParts windowParts(SceneSetup& setup) {
    ui::MainWindowParts parts = setup.program.mainWindowParts();
    parts.runOptionsSheet = [](ui::MainWindow&) {};
    return parts;
}

ui::RipView& ripViewOf(ui::MainWindow& window) {
    return dynamic_cast<ui::RipView&>(window.ripView());
}

// The demo disc as a user sees it after a lookup: titles (one of them long and not Latin), the
// disc's artist and album, two tracks checked and one selected.
void describeDisc(SceneSetup& setup, ui::MainWindow& window) {
    DiscSession& disc = setup.program.disc();
    const char* titles[] = {"Morning Tide", "坂の上の雲 (Clouds Above the Hill) – Main Theme",
                            "Glass Harbour", "Lanterns"};
    for (int row = 0; row < disc.rowCount() && row < 4; ++row)
        disc.setTrackTitle(row, titles[row]);
    disc.setChecked(0, true);
    disc.setChecked(1, true);
    QTest::qWait(20);  // the titles, and what the library read at start-up, arrive as events
    disc.discInfo().update([](DiscInfo& info) {
        info.artist = "Quiet Meridian";
        info.album = "Tidal Atlas";
        info.genreIndex = 26;  // Ambient
    });
    window.showDiscInfo(disc.discInfo().snapshot());
    ui::RipView& view = ripViewOf(window);
    view.model().reloadRows();
    view.list().selectRow(1);
}

// A window whose rip runs on when the picture is taken: on the way out it cancels the rip and
// lets the events run until the rip view has shown its end.
class RippingWindow final : public ui::MainWindow {
  public:
    using MainWindow::MainWindow;
    ~RippingWindow() override {
        ui::RipView& view = ripViewOf(*this);
        if (view.ripping()) {
            QEventLoop loop;
            QObject::connect(&view, &ui::RipView::ripEnded, &loop, &QEventLoop::quit);
            view.cancel();
            loop.exec();
        }
        cdRomSettings().unit = 0;
    }
};

const SceneRegistration kRipView("rip-view", [](SceneSetup& setup) {
    auto window = std::make_unique<ui::MainWindow>(windowParts(setup));
    window->show();  // the rip view reads the disc when it is first shown
    describeDisc(setup, *window);
    return window;
});

const SceneRegistration kRipping("rip-view-ripping", [](SceneSetup& setup) {
    // The slower drive, so that the picture catches the second track under way.
    cdRomSettings().unit = 1;
    auto window = std::make_unique<RippingWindow>(windowParts(setup));
    window->show();
    describeDisc(setup, *window);
    setup.program.disc().setChecked(2, true);
    ui::RipView& view = ripViewOf(*window);
    view.ripCheckedTracks();
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        const ui::TextProgressBar* bar = view.list().progressBar(1);
        if (bar && bar->position() >= 450)
            break;
        QTest::qWait(20);
    }
    return window;
});

// START STOP UNIT on the first drive: the tray opens or closes.
void moveTray(SceneSetup& setup, bool load) {
    ScsiCommand command;
    command.cdb = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(load ? 0x03 : 0x02)};
    command.cdbLength = 6;
    setup.program.engine().executeScsi(setup.program.disc().drives().drives[0].address(), command);
}

// A window over an empty drive that puts the disc back when it goes.
class EmptyDriveWindow final : public ui::MainWindow {
  public:
    EmptyDriveWindow(SceneSetup& setup) : MainWindow(windowParts(setup)), setup_(setup) {}
    ~EmptyDriveWindow() override { moveTray(setup_, true); }

  private:
    SceneSetup& setup_;
};

const SceneRegistration kNoDisc("rip-view-no-disc", [](SceneSetup& setup) {
    setup.program.disc().ensureEngine();
    moveTray(setup, false);
    auto window = std::make_unique<EmptyDriveWindow>(setup);
    window->show();
    return window;
});

// Base-from-member: the dialog's rip outlives the dialog.
struct SegmentRipHolder {
    explicit SegmentRipHolder(SceneSetup& setup)
        : job(setup.program.engine(), setup.program.registry(), setup.prompter,
              setup.program.bridge().queue()) {}
    SegmentRip job;
};

class SceneSegmentDialog final : private SegmentRipHolder, public ui::SegmentDialog {
  public:
    explicit SceneSegmentDialog(SceneSetup& setup)
        : SegmentRipHolder(setup),
          SegmentDialog({setup.program.disc(), setup.program.engine(), job, setup.program.bridge(),
                         setup.prompter}) {}
};

const SceneRegistration kSegment("segment-dialog", [](SceneSetup& setup) {
    DiscSession& disc = setup.program.disc();
    disc.ensureEngine();
    disc.rebuild();
    auto dialog = std::make_unique<SceneSegmentDialog>(setup);
    // From the last quarter of the first track into the second.
    dialog->startSlider().setValue(2400);
    dialog->endSlider().setValue(4300);
    return dialog;
});

struct TagHolder {
    TagInfo tag;
};

class SceneTagEditor final : private TagHolder, public ui::Id3Editor {
  public:
    explicit SceneTagEditor(const TagInfo& start)
        : TagHolder{start},
          Id3Editor(tag, QStringLiteral("坂の上の雲 (Clouds Above the Hill) – "
                                        "Main Theme")) {}
};

const SceneRegistration kTagEditor("id3-editor", [](SceneSetup&) {
    TagInfo tag;
    tag.isV1 = 1;
    tag.Track1 = "2";
    tag.Title1 = "Clouds Above the Hill";
    tag.Artist1 = "Quiet Meridian";
    tag.Album1 = "Tidal Atlas";
    tag.Year1 = "2024";
    tag.Genre1 = 26;
    tag.isV2 = 1;
    tag.Track2 = "2";
    tag.Title2 = "坂の上の雲 (Clouds Above the Hill) – Main Theme";
    tag.Artist2 = "Quiet Meridian";
    tag.Album2 = "Tidal Atlas";
    tag.Year2 = "2024";
    tag.Genre2 = 26;
    tag.Comment2 = "Recorded live at the harbour hall.\nSecond take.";
    tag.Composer = "A. Lindqvist";
    tag.EncodeBy = "Tonalda";
    return std::make_unique<SceneTagEditor>(tag);
});

}  // namespace

}  // namespace tonalda::screenshots
