#include "ui/rip/segment_dialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionSlider>
#include <QVBoxLayout>
#include <limits>
#include <utility>

#include "cdaccess/cd_engine.h"
#include "cdinfo/misc_settings.h"
#include "codecs/output_format.h"
#include "codecs/output_settings.h"
#include "platform/prompter.h"
#include "rip/disc_session.h"
#include "rip/segment_rip.h"
#include "ui/job_event_bridge.h"
#include "ui/skin.h"
#include "ui/text_progress_bar.h"

namespace fs = std::filesystem;

namespace tonalda::ui {

namespace {

// The Save As filter's description of each format, in format order.
constexpr const char* kFilterDescriptions[] = {"wave files", "Mp3 files", "WMA files",
                                               "Ogg Vorbis"};

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString qPath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

QLabel* readOutLabel(const QString& name) {
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setMinimumWidth(64);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

QString chooseSaveFileWithDialog(QWidget* parent, const QString& suggested, const QString& filter,
                                 const QString& suffix) {
    QFileDialog dialog(parent, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

FrameBox::FrameBox(QWidget* parent) : QSpinBox(parent) {
    setAccelerated(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // A typed frame counts when the typing ends (Enter or leaving the box), so that a number can
    // be typed digit by digit; by then the box has cut it to its range, so it is kept here.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        bool ok = false;
        const qulonglong frame = text.toULongLong(&ok);
        typed_ = ok ? std::optional<quint64>(frame) : std::nullopt;
    });
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] {
        if (const auto frame = std::exchange(typed_, std::nullopt))
            Q_EMIT frameTyped(*frame);
    });
}

void FrameBox::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    Q_EMIT frameStepped(value());
}

QString FrameBox::typedText() const {
    return lineEdit()->text();
}

QValidator::State FrameBox::validate(QString& input, int&) const {
    if (input.isEmpty())
        return QValidator::Intermediate;
    for (const QChar c : input)
        if (!c.isDigit())
            return QValidator::Invalid;
    // Up to the widest frame number a box could be asked about; the dialog answers larger ones.
    return input.size() <= 12 ? QValidator::Acceptable : QValidator::Invalid;
}

int FrameBox::valueFromText(const QString& text) const {
    const qulonglong frame = text.toULongLong();
    return static_cast<int>(std::min<qulonglong>(frame, std::numeric_limits<int>::max()));
}

TrackSlider::TrackSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, kSegmentSliderRange);
    setPageStep(10);
    setSingleStep(1);
    setTickPosition(QSlider::NoTicks);
    setMinimumHeight(24);
}

void TrackSlider::setTicks(std::vector<int> positions) {
    ticks_ = std::move(positions);
    update();
}

void TrackSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    QPainter painter(this);
    painter.setPen(QPen(isEnabled() ? skin_colour::kSecondaryText : skin_colour::kHairline, 1));
    for (const int tick : ticks_) {
        const int x = groove.left() + handle.width() / 2 +
                      QStyle::sliderPositionFromValue(minimum(), maximum(), tick, span);
        painter.drawLine(x, height() - 5, x, height() - 1);
    }
}

SegmentDialog::SegmentDialog(SegmentDialogParts parts, QWidget* parent)
    : QDialog(parent),
      parts_(std::move(parts)),
      disc_(SegmentDisc::fromToc(parts_.disc.lbaToc(), parts_.disc.rowCount())),
      selection_(disc_.length),
      format_(outputSettings().format),
      ripFolder_(outputSettings().ripFolder) {
    setWindowTitle(QStringLiteral("Rip Segment"));
    setObjectName(QStringLiteral("segmentDialog"));

    const auto frameRow = [this](const QString& caption, FrameBox*& box, TrackSlider*& slider,
                                 QLabel*& track, QLabel*& time, const QString& name) {
        auto* group = new QGroupBox(caption);
        box = new FrameBox;
        box->setObjectName(name + QStringLiteral("Frame"));
        box->setAccessibleName(caption);
        box->setRange(0, static_cast<int>(std::min<std::uint32_t>(
                             selection_.length(), std::numeric_limits<int>::max())));
        box->setMinimumWidth(96);
        slider = new TrackSlider;
        slider->setObjectName(name + QStringLiteral("Slider"));
        slider->setAccessibleName(caption);
        std::vector<int> ticks;
        for (const std::uint32_t start : disc_.trackStarts)
            ticks.push_back(selection_.sliderPositionOf(start));
        slider->setTicks(std::move(ticks));
        track = readOutLabel(name + QStringLiteral("Track"));
        time = readOutLabel(name + QStringLiteral("Time"));
        auto* grid = new QGridLayout(group);
        grid->addWidget(box, 0, 0);
        grid->addWidget(slider, 0, 1, 1, 4);
        grid->addWidget(new QLabel(QStringLiteral("Track")), 1, 1);
        grid->addWidget(track, 1, 2);
        grid->addWidget(new QLabel(QStringLiteral("Time")), 1, 3);
        grid->addWidget(time, 1, 4);
        grid->setColumnStretch(2, 1);
        grid->setColumnStretch(4, 1);
        return group;
    };
    QWidget* startGroup = frameRow(QStringLiteral("Start Frame"), startBox_, startSlider_,
                                   startTrack_, startTime_, QStringLiteral("start"));
    QWidget* endGroup = frameRow(QStringLiteral("End Frame"), endBox_, endSlider_, endTrack_,
                                 endTime_, QStringLiteral("end"));

    auto* totals = new QHBoxLayout;
    totalFrames_ = readOutLabel(QStringLiteral("totalFrames"));
    totalTime_ = readOutLabel(QStringLiteral("totalTime"));
    totalSize_ = readOutLabel(QStringLiteral("totalSize"));
    totalFrames_->setText(QStringLiteral("0"));
    for (auto [caption, label] : {std::pair{QStringLiteral("Total Frames"), totalFrames_},
                                  std::pair{QStringLiteral("Total Time"), totalTime_},
                                  std::pair{QStringLiteral("Total Size"), totalSize_}}) {
        auto* name = new QLabel(caption);
        name->setBuddy(label);
        totals->addWidget(name);
        totals->addWidget(label, 1);
    }

    output_ = new QLineEdit(qPath(defaultSegmentOutput(ripFolder_, format_)));
    output_->setObjectName(QStringLiteral("outputFilename"));
    output_->setAccessibleName(QStringLiteral("Output Filename"));
    change_ = new QPushButton(QStringLiteral("Change..."));
    change_->setObjectName(QStringLiteral("change"));
    // Enter ends the typing of a frame or a name; it presses no button.
    change_->setAutoDefault(false);
    auto* outputRow = new QHBoxLayout;
    auto* outputLabel = new QLabel(QStringLiteral("Output Filename"));
    outputLabel->setBuddy(output_);
    outputRow->addWidget(outputLabel);
    outputRow->addWidget(output_, 1);
    outputRow->addWidget(change_);

    progress_ = new TextProgressBar;
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->setBarColour(skin_colour::kAccent);
    progress_->setBackgroundColour(skin_colour::kWell);
    progress_->setTextColours(skin_colour::kText, skin_colour::kOnAccent);
    progress_->setFixedHeight(20);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    status_->setMinimumWidth(96);
    auto* progressRow = new QHBoxLayout;
    auto* progressLabel = new QLabel(QStringLiteral("Progress"));
    progressRow->addWidget(progressLabel);
    progressRow->addWidget(progress_, 1);
    progressRow->addWidget(status_);

    const auto makeButton = [this](const QString& text) {
        auto* button = new QPushButton(text);
        button->setObjectName(text.toLower());
        button->setAutoDefault(false);
        return button;
    };
    begin_ = makeButton(QStringLiteral("Begin"));
    play_ = makeButton(QStringLiteral("Play"));
    stop_ = makeButton(QStringLiteral("Stop"));
    cancel_ = makeButton(QStringLiteral("Cancel"));
    exit_ = makeButton(QStringLiteral("Exit"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {begin_, play_, stop_, cancel_})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(exit_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(startGroup);
    layout->addWidget(endGroup);
    layout->addLayout(totals);
    layout->addLayout(outputRow);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(startSlider_, &QSlider::valueChanged, this, &SegmentDialog::startSliderMoved);
    connect(endSlider_, &QSlider::valueChanged, this, &SegmentDialog::endSliderMoved);
    connect(startBox_, &FrameBox::frameTyped, this, &SegmentDialog::startTyped);
    connect(endBox_, &FrameBox::frameTyped, this, &SegmentDialog::endTyped);
    connect(startBox_, &FrameBox::frameStepped, this, &SegmentDialog::startTyped);
    connect(endBox_, &FrameBox::frameStepped, this, &SegmentDialog::endTyped);
    connect(begin_, &QPushButton::clicked, this, &SegmentDialog::begin);
    connect(play_, &QPushButton::clicked, this, &SegmentDialog::play);
    connect(stop_, &QPushButton::clicked, this, &SegmentDialog::stop);
    connect(cancel_, &QPushButton::clicked, this, &SegmentDialog::cancel);
    connect(exit_, &QPushButton::clicked, this, &SegmentDialog::exit);
    connect(change_, &QPushButton::clicked, this, &SegmentDialog::changeOutput);
    connect(&parts_.bridge, &JobEventBridge::jobEvent, this, &SegmentDialog::onJobEvent);

    showSelection();
    setIdle(true);
}

SegmentDialog::~SegmentDialog() {
    if (playing_)
        stop();
}

QString SegmentDialog::statusText() const {
    return status_->text();
}

QString SegmentDialog::readOut(const char* name) const {
    const auto* label = findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

QPushButton& SegmentDialog::button(const char* name) const {
    return *findChild<QPushButton*>(QString::fromLatin1(name));
}

void SegmentDialog::showSelection() {
    updating_ = true;
    startSlider_->setValue(selection_.startSlider());
    endSlider_->setValue(selection_.endSlider());
    startBox_->setValue(static_cast<int>(selection_.start()));
    endBox_->setValue(static_cast<int>(selection_.end()));
    updating_ = false;
    const auto showPlace = [this](std::uint32_t frame, QLabel* track, QLabel* time) {
        if (const auto place = trackPlace(disc_, frame)) {
            track->setText(QString::number(place->track));
            time->setText(qText(place->time));
        }
    };
    showPlace(selection_.start(), startTrack_, startTime_);
    showPlace(selection_.end(), endTrack_, endTime_);
    const SegmentTotals totals = segmentTotals(selection_.frameCount());
    totalFrames_->setText(qText(totals.frames));
    totalTime_->setText(qText(totals.time));
    totalSize_->setText(qText(totals.size));
    begin_->setEnabled(!busy_ && selection_.frameCount() > 0);
}

void SegmentDialog::startSliderMoved(int position) {
    if (updating_)
        return;
    selection_.moveStartSlider(position);
    showSelection();
}

void SegmentDialog::endSliderMoved(int position) {
    if (updating_)
        return;
    selection_.moveEndSlider(position);
    showSelection();
}

void SegmentDialog::startTyped(quint64 frame) {
    if (updating_)
        return;
    if (selection_.typeStart(frame))
        parts_.prompter.tell(kSegmentExceed);
    showSelection();
}

void SegmentDialog::endTyped(quint64 frame) {
    if (updating_)
        return;
    if (selection_.typeEnd(frame))
        parts_.prompter.tell(kSegmentExceed);
    showSelection();
}

std::optional<fs::path> SegmentDialog::outputName() const {
    return segmentOutputName(output_->text().toStdString(), ripFolder_, format_);
}

void SegmentDialog::changeOutput() {
    const std::string_view extension = outputFormatExtension(format_);
    if (extension.empty())
        return;
    const QString suffix = qText(extension.substr(1));
    const QString filter = QString::fromLatin1(kFilterDescriptions[format_]) +
                           QStringLiteral("(*.") + suffix + QStringLiteral(")");
    const fs::path folder = outputName() ? outputName()->parent_path() : ripFolder_;
    const QString chosen = parts_.chooseFile(
        this, qPath(folder / ("Untitled." + suffix.toStdString())), filter, suffix);
    if (chosen.isEmpty())
        return;
    if (const auto name = segmentOutputName(chosen.toStdString(), ripFolder_, format_))
        output_->setText(qPath(*name));
}

void SegmentDialog::setIdle(bool idle) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             play_, stop_, change_, output_, startBox_, endBox_, startSlider_, endSlider_})
        control->setEnabled(idle);
    begin_->setEnabled(idle && selection_.frameCount() > 0);
    cancel_->setEnabled(!idle);
}

void SegmentDialog::begin() {
    if (busy_ || selection_.frameCount() == 0)
        return;
    const auto output = outputName();
    if (!output) {
        parts_.prompter.tell("Please give the segment an output file name.");
        output_->setFocus();
        return;
    }
    output_->setText(qPath(*output));
    SegmentRipOptions options;
    options.format = format_;
    options.output = *output;
    options.tempFolder = miscSettings().tempPath;
    options.cdrom = cdRomSettings();
    options.ogg = oggSettings();
    options.wma = wmaSettings();
    if (!parts_.job.start(parts_.disc.handle(), selection_.start(), selection_.end(), options))
        return;
    busy_ = true;
    status_->clear();
    progress_->setPosition(0);
    setIdle(false);
}

void SegmentDialog::play() {
    const MsfAddress from = msfOfBlock(selection_.start());
    const MsfAddress to = msfOfBlock(selection_.end());
    playing_ = true;
    parts_.engine.playAudioMsf(parts_.disc.handle(), from.minute, from.second, from.frame,
                               to.minute, to.second, to.frame);
}

void SegmentDialog::stop() {
    playing_ = false;
    parts_.engine.stopCD(parts_.disc.handle());
}

void SegmentDialog::cancel() {
    if (!busy_)
        return;
    parts_.job.requestStop();
    status_->setText(qText(kSegmentCanceled));
    progress_->setPosition(0);
    cancel_->setEnabled(false);
}

void SegmentDialog::exit() {
    if (playing_)
        stop();
    if (busy_) {
        // The rip winds down at its next block; the dialog closes on its last event.
        cancel();
        exitPending_ = true;
        return;
    }
    QDialog::accept();
}

void SegmentDialog::reject() {
    exit();
}

void SegmentDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    exit();
}

void SegmentDialog::onJobEvent(const JobNotice& notice) {
    if (notice.job != parts_.job.id())
        return;
    const bool stopping = busy_ && !cancel_->isEnabled();
    if (const auto* status = std::get_if<RowStatusChanged>(&notice.event)) {
        if (!stopping)
            status_->setText(qText(segmentStatusText(status->status)));
        if (status->status == RowStatus::Extracting || status->status == RowStatus::Encoding)
            progress_->setPosition(0);
    } else if (const auto* progress = std::get_if<RowProgress>(&notice.event)) {
        progress_->setPosition(stopping ? 0 : progress->thousandths);
    } else if (std::holds_alternative<JobFinished>(notice.event)) {
        busy_ = false;
        status_->setText(qText(parts_.job.status()));
        setIdle(true);
        if (exitPending_)
            QDialog::accept();
    }
}

}  // namespace tonalda::ui
