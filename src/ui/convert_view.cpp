#include "ui/convert_view.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTableView>
#include <QVBoxLayout>

#include "codecs/output_settings.h"
#include "platform/job_thread.h"
#include "platform/prompter.h"
#include "ui/bitmap_button.h"
#include "ui/convert_list_model.h"
#include "ui/id3_tag_dialog.h"
#include "ui/job_event_bridge.h"
#include "ui/main_window.h"
#include "ui/skin.h"
#include "ui/text_progress_bar.h"

namespace tonalda::ui {

namespace {

struct ButtonLayout {
    ConvertView::Command command;
    const char* caption;
    const char* pictures;
    QRect geometry;  // from the view's origin
    const char* tooltip;
};

// Buttons without a caption on their face show only their glyph.
constexpr ButtonLayout kButtons[] = {
    {ConvertView::Command::Add, "", "ADD", {0, 0, 39, 39}, "Add files"},
    {ConvertView::Command::Remove, "", "DELETE", {50, 0, 39, 39}, "Remove files"},
    {ConvertView::Command::Clear, "Clear", "CLEAR", {0, 40, 90, 27}, "Clear"},
    {ConvertView::Command::EditTag, "ID3", "ID3", {0, 75, 90, 27}, "Edit ID3 tag"},
    {ConvertView::Command::Mp3, "MP3", "MP3", {0, 110, 90, 27}, "Convert to MP3 format"},
    {ConvertView::Command::Wma, "WMA", "WMA", {0, 145, 90, 27}, "Convert to WMA format"},
    {ConvertView::Command::Ogg, "Ogg", "OGG", {0, 180, 90, 27}, "Convert to OGG format"},
    {ConvertView::Command::Cancel, "Cancel", "CANCEL", {0, 215, 90, 27}, "Cancel"},
    {ConvertView::Command::Open, "Open", "OPEN", {0, 250, 90, 26}, "Open encoder output folder"},
};

constexpr QRect kListGeometry{95, 2, 555, 298};

// The running row's bar sits in its Progress cell, 2 pixels in from the top and the bottom.
constexpr int kBarInset = 2;

bool isWavFile(const QUrl& url) {
    return url.isLocalFile() &&
           url.toLocalFile().endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive);
}

QStringList droppedWavFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (isWavFile(url))
            files.push_back(url.toLocalFile());
    return files;
}

}  // namespace

ConvertView::ConvertView(ConvertViewParts parts, QWidget* parent)
    : QWidget(parent),
      parts_(std::move(parts)),
      list_(wavTypeName()),
      player_(list_, *parts_.prompter),
      job_(*parts_.registry, *parts_.prompter, parts_.events->queue()) {
    Q_ASSERT(parts_.window && parts_.prompter && parts_.registry && parts_.events);
    if (!parts_.chooseFiles)
        parts_.chooseFiles = [](QWidget* owner) {
            return QFileDialog::getOpenFileNames(owner, QStringLiteral("Open"), QString(),
                                                 QStringLiteral("Audio Files (*.wav)"));
        };
    if (!parts_.openUrl)
        parts_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (!parts_.editTag)
        parts_.editTag = &Id3TagDialog::edit;

    setObjectName(QStringLiteral("convertView"));
    setAccessibleName(QStringLiteral("Encoder"));
    setAcceptDrops(true);
    createList();
    createButtons();
    setJobControls(false);
    connect(parts_.events, &JobEventBridge::jobEvent, this, &ConvertView::onJobEvent);
}

ConvertView::~ConvertView() {
    disconnect(parts_.events, nullptr, this, nullptr);
    if (job_.running()) {
        // The program ends during a job that was not asked about: stop it and wait for its
        // end, handing other jobs' events on.
        JobEventBridge& events = *parts_.events;
        const JobId id = job_.id();
        finishOnReceiverThread(job_, events.queue(), [&events, id](const JobNotice& notice) {
            if (notice.job != id)
                Q_EMIT events.jobEvent(notice);
        });
    }
}

void ConvertView::createList() {
    model_ = new ConvertListModel(list_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("convertList"));
    table_->setAccessibleName(QStringLiteral("WAV files"));
    table_->setModel(model_);
    table_->setGeometry(kListGeometry.translated(kOrigin));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setShowGrid(true);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setIconSize(QSize(16, 16));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(22);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    for (int column = 0; column < kConvertColumnCount; ++column)
        header->resizeSection(column, ConvertListModel::kColumnWidths[column]);
    connect(table_, &QTableView::doubleClicked, this, [this] {
        if (!busy_)
            editSelectedTag();
    });
}

void ConvertView::createButtons() {
    for (std::size_t i = 0; i < std::size(kButtons); ++i) {
        const ButtonLayout& layout = kButtons[i];
        auto* button = new BitmapButton(this);
        button->setText(QString::fromLatin1(layout.caption));
        button->setPictures(QString::fromLatin1(layout.pictures));
        button->setCaptionPlacement(*layout.caption ? BitmapButton::CaptionPlacement::Beside
                                                    : BitmapButton::CaptionPlacement::Hidden);
        button->setFont(SkinFonts::font(12));
        button->setGeometry(layout.geometry.translated(kOrigin));
        button->setObjectName(QString::fromLatin1(layout.pictures).toLower());
        button->setHelpText(QString::fromLatin1(layout.tooltip));
        const Command command = layout.command;
        connect(button, &QAbstractButton::clicked, this, [this, command] { run(command); });
        buttons_[i] = button;
    }
    // Tab goes down the buttons, then into the list.
    for (std::size_t i = 1; i < buttons_.size(); ++i)
        setTabOrder(buttons_[i - 1], buttons_[i]);
    setTabOrder(buttons_.back(), table_);
}

BitmapButton& ConvertView::button(Command command) const {
    return *buttons_[static_cast<std::size_t>(command)];
}

void ConvertView::setJobControls(bool running) {
    for (const Command command : {Command::Add, Command::Remove, Command::Clear, Command::EditTag,
                                  Command::Mp3, Command::Wma, Command::Ogg})
        button(command).setEnabled(!running);
    button(Command::Cancel).setEnabled(running);
    button(Command::Open).setEnabled(true);
}

void ConvertView::run(Command command) {
    // Between jobs everything but Cancel; during one only Cancel and Open.
    const bool allowed = command == Command::Open || (command == Command::Cancel) == busy_;
    if (!allowed)
        return;
    switch (command) {
        case Command::Add:
            chooseAndAddFiles();
            break;
        case Command::Remove:
            removeSelected();
            break;
        case Command::Clear:
            model_->clear();
            break;
        case Command::EditTag:
            editSelectedTag();
            break;
        case Command::Mp3:
            startJob(OutputFormat::Mp3);
            break;
        case Command::Wma:
            startJob(OutputFormat::Wma);
            break;
        case Command::Ogg:
            startJob(OutputFormat::Ogg);
            break;
        case Command::Cancel:
            cancelJob();
            break;
        case Command::Open:
            openEncodeFolder();
            break;
    }
}

std::vector<int> ConvertView::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::optional<int> ConvertView::firstSelectedRow() const {
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? std::nullopt : std::optional(rows.front());
}

void ConvertView::chooseAndAddFiles() {
    addFiles(parts_.chooseFiles(this));
}

void ConvertView::addFiles(const QStringList& paths) {
    if (!busy_)
        model_->addFiles(paths, *parts_.prompter);
}

void ConvertView::removeSelected() {
    model_->removeRows(selectedRows(), *parts_.prompter);
}

void ConvertView::editSelectedTag() {
    const std::vector<int> rows = selectedRows();
    TagInfo* tag = list_.tagToEdit(rows, *parts_.prompter);
    if (!tag)
        return;
    const QString heading = QString::fromStdString(list_.row(rows.front()).path);
    if (parts_.editTag(*tag, heading, this))
        parts_.window->setDiscInfoChanged(true);
}

void ConvertView::startJob(OutputFormat format) {
    if (list_.rowCount() == 0)
        return;
    if (player_.playing()) {
        const Prompt question{
            kStopAudioQuestion, {}, PromptButtons::OkCancel, PromptIcon::Question};
        if (parts_.prompter->ask(question) != PromptAnswer::Ok)
            return;
    }
    // The main window stops playback and keeps its controls still while the job runs.
    parts_.window->handleMessage(UM_RIP_BEGIN);
    busy_ = true;
    setJobControls(true);
    if (!job_.start(list_, format, currentConvertOptions())) {
        busy_ = false;
        setJobControls(false);
        parts_.window->handleMessage(UM_RIP_END);
        return;
    }
    model_->statusesChanged();
}

void ConvertView::cancelJob() {
    job_.requestStop();
    button(Command::Cancel).setEnabled(false);
}

void ConvertView::openEncodeFolder() {
    const QString folder = QString::fromStdString(outputSettings().encodeFolder);
    if (!parts_.openUrl(QUrl::fromLocalFile(folder)))
        parts_.prompter->tell("Cannot open the folder " + folder.toStdString(),
                              PromptIcon::Warning);
}

void ConvertView::onJobEvent(const JobNotice& notice) {
    if (!busy_ || notice.job != job_.id())
        return;
    const JobEvent& event = notice.event;
    if (const auto* status = std::get_if<RowStatusChanged>(&event)) {
        model_->setStatus(status->row, status->status);
        if (status->status == RowStatus::Encoding)
            showProgressBar(status->row);
        else if (status->status != RowStatus::Waiting)
            dropProgressBar(status->row);
    } else if (const auto* progress = std::get_if<RowProgress>(&event)) {
        if (const auto bar = bars_.find(progress->row); bar != bars_.end())
            bar->second->setPosition(progress->thousandths);
    } else if (const auto* finished = std::get_if<EntryFinished>(&event)) {
        dropProgressBar(finished->row);
    } else if (std::holds_alternative<JobFinished>(event)) {
        jobFinished();
    }
}

void ConvertView::showProgressBar(int row) {
    if (bars_.count(row))
        return;
    auto* cell = new QWidget;
    auto* layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, kBarInset, 0, kBarInset);
    auto* bar = new TextProgressBar(cell);
    bar->setObjectName(QStringLiteral("progress%1").arg(row));
    bar->setRange(0, 1000);
    bar->setPosition(0);
    bar->setFont(SkinFonts::font(11));
    bar->setBackgroundColour(skin_colour::kWell);
    bar->setTextColours(skin_colour::kText, skin_colour::kOnAccent);
    layout->addWidget(bar);
    table_->setIndexWidget(model_->index(row, kConvertProgress), cell);
    bars_[row] = bar;
}

void ConvertView::dropProgressBar(int row) {
    if (bars_.erase(row))
        table_->setIndexWidget(model_->index(row, kConvertProgress), nullptr);
}

void ConvertView::jobFinished() {
    while (!bars_.empty())
        dropProgressBar(bars_.begin()->first);
    busy_ = false;
    setJobControls(false);
    parts_.window->handleMessage(UM_RIP_END);
    Q_EMIT jobEnded();
}

bool ConvertView::playerAvailable() const {
    const TransportPlayer* transport = parts_.window->player();
    return transport && transport->unavailableReason().empty();
}

std::unique_ptr<QMenu> ConvertView::makeContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("encoder"));
    auto command = [&](const char* text, Command which) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this, [this, which] { run(which); });
        action->setEnabled(which == Command::Cancel ? busy_ : !busy_);
        return action;
    };
    auto message = [&](const char* text, UserMessage userMessage) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this,
                [this, userMessage] { parts_.window->handleMessage(userMessage); });
        return action;
    };
    command("Add", Command::Add);
    command("Remove", Command::Remove);
    command("Clear", Command::Clear);
    command("ID3 tag...", Command::EditTag);
    menu->addSeparator();
    command("Convert to Mp3", Command::Mp3);
    command("Convert to WMA", Command::Wma);
    command("Convert to Ogg", Command::Ogg);
    command("Cancel", Command::Cancel);
    menu->addSeparator();
    QAction* play = message("Play", UM_PLAY_TRACK);
    QAction* pause = message("Pause", UM_PAUSE_PLAY);
    QAction* stop = message("Stop", UM_STOP_PLAY);
    QAction* next = message("Next", UM_NEXT_TRACK);
    QAction* previous = message("Previous", UM_PREV_TRACK);

    const bool canPlay = playerAvailable();
    play->setEnabled(!busy_ && canPlay);
    // Pause, Stop, Next and Previous follow the player: usable while it plays, and Next and
    // Previous not while it is paused.
    const bool playing = player_.playing() && canPlay;
    for (QAction* action : {pause, stop, next, previous})
        action->setEnabled(playing);
    if (player_.paused()) {
        next->setEnabled(false);
        previous->setEnabled(false);
    }
    return menu;
}

void ConvertView::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu = makeContextMenu();
    menu->exec(event->globalPos());
}

void ConvertView::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy_ && !droppedWavFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ConvertView::dropEvent(QDropEvent* event) {
    const QStringList files = droppedWavFiles(event->mimeData());
    if (busy_ || files.isEmpty())
        return;
    event->acceptProposedAction();
    addFiles(files);
}

bool ConvertView::mayClose() {
    if (player_.playing()) {
        const Prompt question{
            kStopPlayingQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question};
        if (parts_.prompter->ask(question) != PromptAnswer::Yes)
            return false;
        player_.stop();
        return true;
    }
    if (busy_) {
        const Prompt question{
            kStopEncodingQuestion, {}, PromptButtons::YesNoCancel, PromptIcon::Question};
        if (parts_.prompter->ask(question) != PromptAnswer::Yes)
            return false;
        cancelJob();
        // The worker notices the stop at its next block; its events keep coming while the
        // window waits here for the last one, so the job is never destroyed while it runs.
        QEventLoop untilEnded;
        connect(this, &ConvertView::jobEnded, &untilEnded, &QEventLoop::quit);
        if (busy_)
            untilEnded.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return true;
}

void ConvertView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Skin::draw(painter, QStringLiteral("view_background"), rect());
}

}  // namespace tonalda::ui
