// The rip view with the demo disc listed, the same during a rip with a progress bar in its cell,
// and the "Rip Segment" dialog over a range across two tracks.

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
#include "ui/main_window.h"
#include "ui/program_window.h"
#include "ui/rip/rip_view.h"
#include "ui/rip/segment_dialog.h"
#include "ui/rip/track_rows_model.h"
#include "ui/skinned_list.h"
#include "ui/text_progress_bar.h"

namespace tonalda::screenshots {

namespace {

ui::ProgramHooks hooks() {
    ui::ProgramHooks hooks;
    hooks.runOptionsSheet = [](ui::MainWindow&, const CdDriveList&) {};
    hooks.openUrl = [](const QUrl&) { return true; };
    return hooks;
}

// The demo disc as a user sees it after a lookup: titles (one of them long and not Latin), the
// disc's artist and album, two tracks checked and one selected.
void describeDisc(ui::ProgramWindow& window) {
    DiscSession& disc = window.discSession();
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
    ui::RipView& view = window.ripView();
    view.model().reloadRows();
    view.list().selectRow(1);
}

// A window whose rip runs on when the picture is taken: on the way out it cancels the rip and
// lets the events run until the rip view has shown its end.
class RippingWindow final : public ui::ProgramWindow {
  public:
    explicit RippingWindow(Prompter& prompter) : ProgramWindow(prompter, hooks()) {}
    ~RippingWindow() override {
        ui::RipView& view = ripView();
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
    auto window = std::make_unique<ui::ProgramWindow>(setup.prompter, hooks());
    window->show();  // the rip view reads the disc when it is first shown
    describeDisc(*window);
    return window;
});

const SceneRegistration kRipping("rip-view-ripping", [](SceneSetup& setup) {
    // The slower drive, so that the picture catches the second track under way.
    cdRomSettings().unit = 1;
    auto window = std::make_unique<RippingWindow>(setup.prompter);
    window->show();
    describeDisc(*window);
    window->discSession().setChecked(2, true);
    ui::RipView& view = window->ripView();
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
void moveTray(ui::ProgramWindow& window, bool load) {
    ScsiCommand command;
    command.cdb = {0x1B, 0, 0, 0, static_cast<std::uint8_t>(load ? 0x03 : 0x02)};
    command.cdbLength = 6;
    DiscSession& disc = window.discSession();
    disc.ensureEngine();
    cdEngine().executeScsi(disc.drives().drives[0].address(), command);
}

// A window over an empty drive that puts the disc back when it goes.
class EmptyDriveWindow final : public ui::ProgramWindow {
  public:
    explicit EmptyDriveWindow(Prompter& prompter) : ProgramWindow(prompter, hooks()) {}
    ~EmptyDriveWindow() override { moveTray(*this, true); }
};

const SceneRegistration kNoDisc("rip-view-no-disc", [](SceneSetup& setup) {
    auto window = std::make_unique<EmptyDriveWindow>(setup.prompter);
    moveTray(*window, false);
    window->show();
    return window;
});

// Base-from-member: the program's window (not shown) and the dialog's rip outlive the dialog.
struct SegmentRipHolder {
    explicit SegmentRipHolder(SceneSetup& setup)
        : program(setup.prompter, hooks()),
          job(cdEngine(), Registry::instance(), setup.prompter, program.events().queue()) {
        program.discSession().ensureEngine();
        program.discSession().rebuild();
    }
    ui::ProgramWindow program;
    SegmentRip job;
};

class SceneSegmentDialog final : private SegmentRipHolder, public ui::SegmentDialog {
  public:
    explicit SceneSegmentDialog(SceneSetup& setup)
        : SegmentRipHolder(setup),
          SegmentDialog(
              {program.discSession(), cdEngine(), job, program.events(), setup.prompter}) {}
};

const SceneRegistration kSegment("segment-dialog", [](SceneSetup& setup) {
    auto dialog = std::make_unique<SceneSegmentDialog>(setup);
    // From the last quarter of the first track into the second.
    dialog->startSlider().setValue(2400);
    dialog->endSlider().setValue(4300);
    return dialog;
});

}  // namespace

}  // namespace tonalda::screenshots
