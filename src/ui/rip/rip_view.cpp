#include "ui/rip/rip_view.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>

#include "cdinfo/disc_info.h"
#include "cdinfo/freedb_settings.h"
#include "cdinfo/local_library.h"
#include "cdinfo/misc_settings.h"
#include "codecs/output_settings.h"
#include "platform/messages.h"
#include "platform/profile.h"
#include "platform/prompter.h"
#include "rip/disc_session.h"
#include "rip/rip_job.h"
#include "rip/segment_rip.h"
#include "ui/bitmap_button.h"
#include "ui/id3_tag_dialog.h"
#include "ui/job_event_bridge.h"
#include "ui/main_window.h"
#include "ui/rip/track_rows_model.h"
#include "ui/skin.h"
#include "ui/skinned_list.h"

namespace tonalda::ui {

namespace {

// Where the buttons and the list sit in the view.
constexpr int kButtonLeft = 2;
constexpr QSize kButtonSize{90, 27};
constexpr int kButtonTops[] = {5, 40, 75, 110, 145, 180, 215};
constexpr QRect kListArea{95, 2, 555, 298};
constexpr QRect kActivityArea{2, 250, 90, 48};
constexpr int kColumnWidths[kTrackColumnCount] = {24, 100, 70, 70, 70, 70, 120};
// Where an empty list draws its text, in the list's client area.
constexpr QPoint kEmptyTextAt{149, 121};

struct ButtonLook {
    const char* picture;
    const char* caption;
    const char* tooltip;  // nullptr: none
};
constexpr ButtonLook kButtonLooks[] = {
    {"RIPTRACK", "Rip", "Rip checked tracks"},
    {"RIPSEG", "Segment", "Rip CD segment"},
    {"ID3", "ID3 Tag", "Edit ID3 tag"},
    {"REFRESH", "Refresh", nullptr},
    {"CDDB", "CDDB", "Read/save CD information"},
    {"CANCEL", "Cancel", "Cancel"},
    {"OPEN", "Open", "Open ripper output folder"},
};

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RipView::RipView(MainWindow& window, RipViewParts parts, QWidget* parent)
    : QWidget(parent),
      window_(window),
      parts_(std::move(parts)),
      ripJob_(std::make_unique<RipJob>(parts_.engine, parts_.registry, parts_.prompter,
                                       parts_.bridge.queue())),
      segmentJob_(std::make_unique<SegmentRip>(parts_.engine, parts_.registry, parts_.prompter,
                                               parts_.bridge.queue())) {
    setObjectName(QStringLiteral("ripView"));
    setAccessibleName(QStringLiteral("Ripper"));
    if (!parts_.openUrl)
        parts_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    createButtons();
    createList();
    activity_ = new QLabel(this);
    activity_->setObjectName(QStringLiteral("activity"));
    activity_->setGeometry(kActivityArea);
    activity_->setWordWrap(true);
    activity_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    activity_->setFont(SkinFonts::font(11));
    QPalette palette = activity_->palette();
    palette.setColor(QPalette::WindowText, skin_colour::kAccent);
    activity_->setPalette(palette);
    activity_->hide();
    connect(&parts_.bridge, &JobEventBridge::jobEvent, this, &RipView::onJobEvent);
    updateCommandState();
}

RipView::~RipView() = default;

void RipView::createButtons() {
    const std::array<void (RipView::*)(), 7> commands = {
        &RipView::ripCheckedTracks, &RipView::ripSegment, &RipView::editTag,      &RipView::refresh,
        &RipView::openCddbMenu,     &RipView::cancel,     &RipView::openRipFolder};
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const ButtonLook& look = kButtonLooks[i];
        auto* button = new BitmapButton(this);
        button->setObjectName(QString::fromLatin1(look.picture).toLower());
        button->setText(QString::fromLatin1(look.caption));
        button->setPictures(QString::fromLatin1(look.picture));
        button->setCaptionPlacement(BitmapButton::CaptionPlacement::Beside);
        button->setFont(SkinFonts::font(12));
        button->setGeometry(QRect(QPoint(kButtonLeft, kButtonTops[i]), kButtonSize));
        const QString tooltip = look.tooltip ? QString::fromLatin1(look.tooltip) : QString();
        button->setHelpText(tooltip);
        // Screen readers and keyboard users find the command by what it does.
        button->setAccessibleName(tooltip.isEmpty() ? button->text() : tooltip);
        connect(button, &QAbstractButton::clicked, this, commands[i]);
        buttons_[i] = button;
    }
}

void RipView::createList() {
    list_ = new SkinnedList(this);
    list_->setObjectName(QStringLiteral("trackList"));
    list_->setAccessibleName(QStringLiteral("Tracks"));
    list_->setGeometry(kListArea);
    model_ = new TrackRowsModel(parts_.disc, this);
    list_->setModel(model_);
    list_->setCheckColumn(kColumnCheck);
    list_->setColumnWidths(kColumnWidths);
    connect(list_, &SkinnedList::checkHeaderClicked, this, &RipView::toggleHeader);
    connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        // A double click on a check box is two clicks on it, not a request to edit.
        if (index.column() != kColumnCheck)
            editTag();
    });
    // A check by hand leaves the header picture as it is.
    setFocusProxy(list_);
}

void RipView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        initialUpdate();
    }
}

void RipView::initialUpdate() {
    // The engine, the drive list and, as the Misc settings ask, the disc and its library entry.
    parts_.disc.openRipView();
    showRows();
}

void RipView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::draw(painter, QStringLiteral("view_background"), rect());
}

void RipView::showRows() {
    list_->hideAllProgress();
    model_->reload();
    const bool enabled = parts_.disc.listEnabled();
    model_->setEnabled(enabled);
    list_->setEnabled(enabled);
    list_->horizontalHeader()->setEnabled(enabled);
    list_->setHeaderChecked(parts_.disc.headerChecked());
    list_->setEmptyText(qText(parts_.disc.emptyListText()), kEmptyTextAt);
    updateCommandState();
}

void RipView::showDiscInfo() {
    window_.showDiscInfo(parts_.disc.discInfo().snapshot());
}

int RipView::discReady() const {
    return parts_.disc.discReady();
}

bool RipView::lookingUp() const {
    return parts_.disc.lookup().running();
}

bool RipView::isPlaying() const {
    const TransportPlayer* player = window_.player();
    return window_.ripViewShown() && player && player->isPlaying();
}

std::optional<int> RipView::firstSelectedRow() const {
    const std::vector<int> rows = list_->selectedRowNumbers();
    return rows.empty() ? std::nullopt : std::optional<int>(rows.front());
}

void RipView::updateCommandState() {
    DiscSession& disc = parts_.disc;
    const bool lookup = disc.lookup().running();
    const bool submit = disc.submit().running();
    for (const Button command :
         {Button::RipTracks, Button::RipSegment, Button::Refresh, Button::Id3, Button::Cddb})
        button(command).setEnabled(!ripping_);
    const bool stoppable = (ripping_ && !ripJob_->stopRequested()) ||
                           (lookup && !disc.lookup().stopRequested()) ||
                           (submit && !disc.submit().stopRequested());
    button(Button::Cancel).setEnabled(stoppable);
    activity_->setText(lookup   ? QStringLiteral("Querying FreeDB\u2026")
                       : submit ? QStringLiteral("Submitting to FreeDB\u2026")
                                : QString());
    activity_->setVisible(lookup || submit);
}

bool RipView::discAvailable(const char* insertText) {
    DiscSession& disc = parts_.disc;
    if (disc.discReady() == 0) {
        parts_.prompter.tell(insertText);
        return false;
    }
    if (disc.discUnchanged())
        return true;
    // The disc was taken out or swapped since the list was read: the rows would name the wrong
    // tracks, so they are read again before anything works on them.
    refresh();
    parts_.prompter.tell(disc.discReady() == 0 ? insertText : kDiscChanged);
    return false;
}

bool RipView::askToStopPlaying() {
    if (!isPlaying())
        return true;
    const Prompt question{kStopAudioQuestion, {}, PromptButtons::OkCancel, PromptIcon::Question};
    return parts_.prompter.ask(question) == PromptAnswer::Ok;
}

void RipView::ripCheckedTracks() {
    if (ripping_ || !discAvailable(kInsertDisc))
        return;
    DiscSession& disc = parts_.disc;
    bool anyChecked = false;
    for (int row = 0; row < disc.rowCount() && !anyChecked; ++row)
        anyChecked = disc.isChecked(row);
    if (!anyChecked) {
        parts_.prompter.tell(kInvalidSelection);
        return;
    }
    if (!askToStopPlaying())
        return;
    const RipOptions options = currentRipOptions(disc.discInfo().snapshot());
    std::vector<TrackItem> queue = disc.takeRipQueue(options.fileNameRule);
    window_.handleMessage(UM_RIP_BEGIN);
    ripping_ = true;
    model_->reloadRows();
    if (!ripJob_->start(disc.handle(), std::move(queue), options)) {
        ripping_ = false;
        window_.handleMessage(UM_RIP_END);
    }
    updateCommandState();
}

void RipView::ripSegment() {
    if (ripping_)
        return;
    // Without a drive session there is no disc to take a segment from either.
    if (parts_.disc.discReady() < 0) {
        parts_.prompter.tell(kInsertDiscForSegment);
        return;
    }
    if (!discAvailable(kInsertDiscForSegment) || !askToStopPlaying())
        return;
    window_.handleMessage(UM_RIP_BEGIN);
    {
        SegmentDialog dialog({parts_.disc, parts_.engine, *segmentJob_, parts_.bridge,
                              parts_.prompter, parts_.chooseFile},
                             window());
        Q_EMIT segmentDialogOpened(&dialog);
        dialog.exec();
    }
    window_.handleMessage(UM_RIP_END);
}

void RipView::editTag() {
    if (ripping_ || !discAvailable(kInsertDisc))
        return;
    const std::vector<int> selected = list_->selectedRowNumbers();
    if (selected.empty()) {
        parts_.prompter.tell(kInvalidTagSelection);
        return;
    }
    const int row = selected.front();
    DiscSession& disc = parts_.disc;
    TagInfo tag = disc.rowTag(row);
    Id3TagDialog editor(tag, qText(disc.trackTitle(row)), window());
    Q_EMIT tagEditorOpened(&editor);
    if (editor.exec() != QDialog::Accepted)
        return;
    disc.updateRowTag(row, [&tag](TagInfo& kept) { kept = tag; });
    if (tag.isV1 != 0)
        disc.setTrackTitle(row, tag.Title1);
    else if (tag.isV2 != 0)
        disc.setTrackTitle(row, tag.Title2);
    model_->reloadRow(row);
    window_.setDiscInfoChanged(true);
}

void RipView::refresh() {
    if (ripping_)
        return;
    parts_.disc.refresh();
    showRows();
    showDiscInfo();
    if (isPlaying())
        window_.handleMessage(UM_STOP_PLAY);
}

void RipView::rebuildRows() {
    if (ripping_)
        return;
    parts_.disc.rebuild();
    showRows();
}

void RipView::openCddbMenu() {
    if (parts_.disc.discReady() < 0) {
        parts_.prompter.tell(kInsertDisc);
        return;
    }
    if (!discAvailable(kInsertDisc))
        return;
    const BitmapButton& cddb = button(Button::Cddb);
    makeCddbMenu()->exec(cddb.mapToGlobal(QPoint(cddb.width(), 0)));
}

void RipView::cancel() {
    DiscSession& disc = parts_.disc;
    if (ripping_)
        ripJob_->requestStop();
    if (disc.lookup().running())
        disc.lookup().requestStop();
    if (disc.submit().running())
        disc.submit().requestStop();
    updateCommandState();
}

void RipView::openRipFolder() {
    parts_.openUrl(QUrl::fromLocalFile(QString::fromStdString(outputSettings().ripFolder)));
}

void RipView::checkAll() {
    parts_.disc.checkAll();
    model_->reloadRows();
    list_->setHeaderChecked(parts_.disc.headerChecked());
}

void RipView::clearChecks() {
    parts_.disc.clear();
    model_->reloadRows();
    list_->setHeaderChecked(parts_.disc.headerChecked());
}

void RipView::toggleHeader() {
    parts_.disc.toggleHeader();
    model_->reloadRows();
    list_->setHeaderChecked(parts_.disc.headerChecked());
}

void RipView::applyDiscFields(const std::function<void(DiscInfo&)>& change) {
    parts_.disc.discInfo().update([&change](DiscInfo& info) {
        change(info);
        info.infoPresent = true;
    });
    const DiscInfo info = parts_.disc.discInfo().snapshot();
    parts_.disc.applyDiscFields(info.artist, info.album, info.genreIndex);
}

void RipView::applyDiscArtist(const std::string& artist) {
    applyDiscFields([&artist](DiscInfo& info) { info.artist = artist; });
}

void RipView::applyDiscAlbum(const std::string& album) {
    applyDiscFields([&album](DiscInfo& info) { info.album = album; });
}

void RipView::applyDiscGenre(std::int32_t genre) {
    applyDiscFields([genre](DiscInfo& info) { info.genreIndex = genre; });
}

void RipView::showOutputFormat(std::int32_t format) {
    parts_.disc.setOutputFormat(format);
    model_->reloadRows();
}

void RipView::submitToCddb() {
    // The entry is also dumped into dblog.txt, in the folder the rips go to.
    if (parts_.disc.submit().start(freeDbSettings(), outputSettings().ripFolder))
        updateCommandState();
}

void RipView::queryCddb() {
    if (parts_.disc.lookup().start(freeDbSettings()))
        updateCommandState();
}

void RipView::saveToLibrary() {
    DiscSession& disc = parts_.disc;
    if (!disc.saveLibrary())
        parts_.prompter.tell(
            "The disc could not be saved into the local CD library: " +
                libraryFilePath(disc.libraryFolder(), disc.readPlayerKey()).string(),
            PromptIcon::Error);
}

void RipView::readFromLibrary() {
    parts_.disc.readLibrary(true);
}

void RipView::writeCdPlayerIni() {
    if (!tonalda::writeCdPlayerIni(parts_.disc))
        parts_.prompter.tell("Could not write " + (profile::configFolder() / kCdPlayerIni).string(),
                             PromptIcon::Error);
}

void RipView::readCdPlayerIni() {
    tonalda::readCdPlayerIni(parts_.disc);
}

std::unique_ptr<QMenu> RipView::makeCddbMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("CDDB"));
    DiscSession& disc = parts_.disc;
    menu->addAction(QStringLiteral("Submit to FreeDB"), this, &RipView::submitToCddb)
        ->setEnabled(!disc.submit().running());
    menu->addAction(QStringLiteral("Query from FreeDB"), this, &RipView::queryCddb)
        ->setEnabled(!disc.lookup().running());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Save to local CD library"), this, &RipView::saveToLibrary);
    menu->addAction(QStringLiteral("Read from local CD library"), this, &RipView::readFromLibrary);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Write to CDPlayer.ini"), this, &RipView::writeCdPlayerIni);
    menu->addAction(QStringLiteral("Read from CDPlayer.ini"), this, &RipView::readCdPlayerIni);
    return menu;
}

std::unique_ptr<QMenu> RipView::makeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("rip"));
    const auto message = [this](UserMessage what) {
        return [this, what] { window_.handleMessage(what); };
    };
    menu->addAction(QStringLiteral("Check All Tracks"), this, &RipView::checkAll);
    menu->addAction(QStringLiteral("Clear"), this, &RipView::clearChecks);
    menu->addSeparator();
    QAction* ripTracks =
        menu->addAction(QStringLiteral("Rip Tracks"), this, &RipView::ripCheckedTracks);
    QAction* ripSegment =
        menu->addAction(QStringLiteral("Rip Segment..."), this, &RipView::ripSegment);
    QAction* cancelJob = menu->addAction(QStringLiteral("Cancel"), this, &RipView::cancel);
    menu->addSeparator();
    QAction* refreshList = menu->addAction(QStringLiteral("Refresh"), this, &RipView::refresh);
    QAction* tag = menu->addAction(QStringLiteral("ID3 Tag..."), this, &RipView::editTag);
    menu->addSeparator();
    QAction* play = menu->addAction(QStringLiteral("Play"), this, message(UM_PLAY_TRACK));
    QAction* pause = menu->addAction(QStringLiteral("Pause"), this, message(UM_PAUSE_PLAY));
    QAction* stop = menu->addAction(QStringLiteral("Stop"), this, message(UM_STOP_PLAY));
    QAction* next = menu->addAction(QStringLiteral("Next"), this, message(UM_NEXT_TRACK));
    QAction* previous = menu->addAction(QStringLiteral("Previous"), this, message(UM_PREV_TRACK));

    // While ripping only Cancel works; otherwise everything but Cancel (which still stops a
    // lookup that is on its way).
    for (QAction* action :
         {ripTracks, ripSegment, pause, stop, next, previous, refreshList, tag, play})
        action->setEnabled(!ripping_);
    cancelJob->setEnabled(button(Button::Cancel).isEnabled());
    // The player's commands follow what it does; without a player there is nothing to drive.
    const bool playing = isPlaying();
    for (QAction* action : {pause, stop, next, previous})
        action->setEnabled(playing);
    if (playing)
        cancelJob->setEnabled(false);
    if (!window_.player())
        play->setEnabled(false);
    return menu;
}

void RipView::contextMenuEvent(QContextMenuEvent* event) {
    makeContextMenu()->exec(event->globalPos());
}

void RipView::onJobEvent(const JobNotice& notice) {
    DiscSession& disc = parts_.disc;
    if (notice.job == disc.eventId()) {
        if (const auto* info = std::get_if<DiscInfoChanged>(&notice.event)) {
            DiscInfo shown;
            shown.artist = info->artist;
            shown.album = info->album;
            shown.genreIndex = info->genreIndex;
            window_.showDiscInfo(shown);
        } else if (const auto* title = std::get_if<RowTitleChanged>(&notice.event)) {
            model_->reloadRow(title->row);
        }
        return;
    }
    if (notice.job == ripJob_->id()) {
        onRipEvent(notice);
        return;
    }
    const bool lookup = notice.job == disc.lookup().id();
    if (!lookup && notice.job != disc.submit().id())
        return;
    if (const auto* end = std::get_if<JobFinished>(&notice.event)) {
        if (lookup && end->outcome == JobOutcome::Finished)
            window_.setDiscInfoChanged(true);
        updateCommandState();
        if (lookup)
            Q_EMIT lookupEnded();
        closeWhenJobsEnded();
    } else {
        updateCommandState();
    }
}

void RipView::onRipEvent(const JobNotice& notice) {
    DiscSession& disc = parts_.disc;
    if (const auto* status = std::get_if<RowStatusChanged>(&notice.event)) {
        disc.apply(notice);
        model_->reloadRow(status->row);
        switch (status->status) {
            case RowStatus::Extracting:
            case RowStatus::Encoding:
                // Each phase starts its own bar.
                list_->showProgress(status->row, kColumnProgress, 0);
                break;
            case RowStatus::Waiting:
                break;
            default:
                list_->hideProgress(status->row);
                break;
        }
    } else if (const auto* progress = std::get_if<RowProgress>(&notice.event)) {
        if (list_->progressBar(progress->row))
            list_->showProgress(progress->row, kColumnProgress, progress->thousandths);
    } else if (const auto* finished = std::get_if<EntryFinished>(&notice.event)) {
        disc.apply(notice);
        list_->hideProgress(finished->row);
    } else if (std::holds_alternative<JobFinished>(notice.event)) {
        ripJobEnded();
    }
}

void RipView::ripJobEnded() {
    list_->hideAllProgress();
    model_->reloadRows();
    ripping_ = false;
    window_.handleMessage(UM_RIP_END);
    updateCommandState();
    Q_EMIT ripEnded();
    closeWhenJobsEnded();
}

bool RipView::mayClose() {
    DiscSession& disc = parts_.disc;
    const auto jobsRunning = [&] {
        return ripping_ || disc.lookup().running() || disc.submit().running();
    };
    if (closeApproved_) {
        // The second round, after the jobs the user agreed to stop have ended.
        closeApproved_ = false;
        return !jobsRunning();
    }
    if (window_.discInfoChanged() && disc.discReady() != 0) {
        bool save = miscSettings().autoSave != 0;
        if (!save) {
            const Prompt question{
                kSaveDiscQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question};
            const PromptAnswer answer = parts_.prompter.ask(question);
            if (answer == PromptAnswer::Cancel)
                return false;
            save = answer == PromptAnswer::Yes;
        }
        if (save)
            saveToLibrary();
    }
    if (isPlaying()) {
        const Prompt question{
            kStopPlayingQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question};
        if (parts_.prompter.ask(question) != PromptAnswer::Yes)
            return false;
        window_.handleMessage(UM_STOP_PLAY);
    } else if (ripping_) {
        const Prompt question{
            kStopRippingQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question};
        if (parts_.prompter.ask(question) != PromptAnswer::Yes)
            return false;
    }
    // Jobs still at work are stopped; the window closes once they have wound down.
    cancel();
    if (!jobsRunning())
        return true;
    closeApproved_ = true;
    return false;
}

void RipView::closeWhenJobsEnded() {
    DiscSession& disc = parts_.disc;
    if (!closeApproved_ || ripping_ || disc.lookup().running() || disc.submit().running())
        return;
    QMetaObject::invokeMethod(
        &window_, [window = &window_] { window->close(); }, Qt::QueuedConnection);
}

}  // namespace tonalda::ui
