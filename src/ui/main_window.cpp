#include "ui/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QThread>
#include <QWindow>

#include "cdinfo/disc_info.h"
#include "cdinfo/misc_settings.h"
#include "codecs/genres.h"
#include "codecs/output_settings.h"
#include "platform/prompter.h"
#include "platform/registry.h"
#include "rip/disc_session.h"
#include "ui/bitmap_button.h"
#include "ui/empty_view.h"
#include "ui/help_launcher.h"
#include "ui/jump_slider.h"
#include "ui/program_view.h"
#include "ui/skin.h"
#include "ui/status_display.h"

namespace tonalda::ui {

namespace {

constexpr int kVolumeRange = 10000;

// Why the player's controls are grey while nothing drives them.
const QString kNoPlayer = QStringLiteral("playback is not available in this build");
const QString kNoVolume = QStringLiteral("no master volume control in this build");
const QString kNoOptions = QStringLiteral("not available in this build");

enum DiscField { kArtistField, kAlbumField, kGenreField };

// The disc fields sit in dark wells with a hairline edge that turns accent when focused.
const QString kFieldStyle = QStringLiteral(
    "QLineEdit, QComboBox { background: #16181C; color: #E8EAED; border: 1px solid #4A505A;"
    " border-radius: 4px; padding: 0 4px; selection-background-color: #3FA9F5;"
    " selection-color: #12151A; }"
    "QLineEdit:focus, QComboBox:focus { border-color: #3FA9F5; }"
    "QLineEdit:disabled, QComboBox:disabled { color: #6B7078; border-color: #33373E; }"
    "QComboBox::drop-down { border: none; width: 16px; }"
    "QComboBox::down-arrow { image: url(:/skin/combo_arrow.svg); width: 10px; height: 10px; }");

}  // namespace

MainWindow::MainWindow(MainWindowParts parts, QWidget* parent)
    : QWidget(parent), parts_(std::move(parts)) {
    Q_ASSERT(parts_.prompter);
    help_ = std::make_unique<HelpLauncher>(Registry::instance(), *parts_.prompter, parts_.openUrl);
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tonalda"));

    // Start-up, in this order: the window icons;
    setWindowIcon(QIcon(Skin::picturePath(QStringLiteral("tonalda"))));
    // the settings groups, then a clean disc-information flag;
    loadSettings();
    discInfoChanged_ = false;
    // no title bar or border: the body is drawn rounded on a transparent window.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowSystemMenuHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kSize);
    // The window itself holds the focus at first, so that no control looks selected until the
    // keyboard moves to it; it is no stop of the Tab chain.
    setFocusPolicy(Qt::NoFocus);
    // Controls are made before the views are shown so that showing one can set their state;
    // they are raised over the view area afterwards.
    createControls();
    createDiscFields();
    // The views, then the one the Misc settings start with.
    createViews();
    if (miscSettings().initRipper != 0)
        showRipView();
    else
        showConvertView();
    // Slider ranges, the drive description and the player's buttons.
    seek_->setRange(0, kSeekRange);
    seek_->setEnabled(false);
    volume_->setRange(0, kVolumeRange);
    volume_->setValue(kVolumeRange);
    if (parts_.driveDescription)
        driveDescription_ = parts_.driveDescription();
    for (QWidget* control : {static_cast<QWidget*>(pause_), static_cast<QWidget*>(next_),
                             static_cast<QWidget*>(previous_), static_cast<QWidget*>(stop_)})
        control->setEnabled(false);
    // Tooltips, which also name the controls for screen readers.
    setTooltips();
    setFocusOrder();
    updateControlAvailability();
    repaintStatus();
    setFocus(Qt::OtherFocusReason);

    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, [this] { openHelp(); });
}

MainWindow::~MainWindow() {
    // The volume may outlive the window: it must not call back into it.
    if (volumeControl_)
        volumeControl_->setPositionObserver(nullptr);
}

void MainWindow::loadSettings() {
    DiscSession::loadSettingsGroups(Registry::instance(), [this](std::string_view) {
        parts_.prompter->tell(kInitializationError);
    });
}

void MainWindow::createViews() {
    ripView_ = parts_.makeRipView ? parts_.makeRipView(*this) : nullptr;
    if (!ripView_)
        ripView_ = std::make_unique<EmptyView>(QStringLiteral("Ripper"));
    convertView_ = parts_.makeConvertView ? parts_.makeConvertView(*this) : nullptr;
    if (!convertView_)
        convertView_ = std::make_unique<EmptyView>(QStringLiteral("Encoder"));
    placeView(ripView_->widget());
    placeView(convertView_->widget());
    // The Play button reaches a little into the view area: the transport stays on top.
    for (QWidget* control : {static_cast<QWidget*>(play_), static_cast<QWidget*>(seek_)})
        control->raise();
}

void MainWindow::placeView(QWidget& view) {
    view.setParent(this);
    view.setGeometry(kViewArea);
    view.hide();
}

BitmapButton* MainWindow::makeButton(const QString& caption, QRect geometry, bool round) {
    auto* button = new BitmapButton(this);
    button->setText(caption);
    button->setObjectName(caption.toLower());
    button->setPicturesFromCaption();
    button->setGeometry(geometry);
    button->setRoundFace(round);
    return button;
}

void MainWindow::createControls() {
    rip_ = makeButton(QStringLiteral("Rip"), {350, 10, 64, 48});
    convert_ = makeButton(QStringLiteral("Convert"), {414, 10, 64, 48});
    option_ = makeButton(QStringLiteral("Option"), {478, 9, 64, 49});
    helpButton_ = makeButton(QStringLiteral("Help"), {542, 9, 64, 48});
    for (BitmapButton* top : {rip_, convert_, option_, helpButton_}) {
        top->setCaptionPlacement(BitmapButton::CaptionPlacement::Below);
        top->setFont(SkinFonts::font(11));
    }
    play_ = makeButton(QStringLiteral("Play"), {25, 391, 63, 63}, true);
    pause_ = makeButton(QStringLiteral("Pause"), {90, 421, 28, 28}, true);
    stop_ = makeButton(QStringLiteral("Stop"), {130, 421, 28, 28}, true);
    previous_ = makeButton(QStringLiteral("Pre"), {158, 421, 28, 28}, true);
    next_ = makeButton(QStringLiteral("Next"), {186, 421, 28, 28}, true);
    minimize_ = makeButton(QStringLiteral("Min"), {626, 14, 24, 24}, true);
    exit_ = makeButton(QStringLiteral("Exit"), {654, 14, 24, 24}, true);
    buttons_ = {rip_,  convert_,  option_, helpButton_, play_, pause_,
                stop_, previous_, next_,   minimize_,   exit_};

    connect(rip_, &QAbstractButton::clicked, this, &MainWindow::showRipView);
    connect(convert_, &QAbstractButton::clicked, this, &MainWindow::showConvertView);
    connect(option_, &QAbstractButton::clicked, this, &MainWindow::openOptions);
    connect(helpButton_, &QAbstractButton::clicked, this, [this] {
        QMenu menu(this);
        menu.addAction(QStringLiteral("Help Topics\tF1"), this, [this] { openHelp(); });
        menu.addAction(QStringLiteral("About Tonalda"), this,
                       [this] { help_->open(QStringLiteral("about")); });
        menu.exec(helpButton_->mapToGlobal(QPoint(0, helpButton_->height())));
    });
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(exit_, &QAbstractButton::clicked, this, &MainWindow::requestExit);

    connect(play_, &QAbstractButton::clicked, this, [this] { handleMessage(UM_PLAY_TRACK); });
    connect(pause_, &QAbstractButton::clicked, this, [this] { handleMessage(UM_PAUSE_PLAY); });
    connect(stop_, &QAbstractButton::clicked, this, [this] { handleMessage(UM_STOP_PLAY); });
    connect(previous_, &QAbstractButton::clicked, this, [this] { handleMessage(UM_PREV_TRACK); });
    connect(next_, &QAbstractButton::clicked, this, [this] { handleMessage(UM_NEXT_TRACK); });

    seek_ = new JumpSlider(Qt::Horizontal, this);
    seek_->setObjectName(QStringLiteral("seek"));
    seek_->setGeometry(110, 395, 568, 18);
    seek_->setJumpHorizontally(true);
    connect(seek_, &JumpSlider::timerStopRequested, this, [this] { handleMessage(UM_TIMER_STOP); });
    connect(seek_, &JumpSlider::timerStartRequested, this,
            [this] { handleMessage(UM_TIMER_START); });
    connect(seek_, &JumpSlider::thumbPositionReported, this, [this](int position) {
        if (player_)
            player_->seek(position);
    });

    volume_ = new JumpSlider(Qt::Vertical, this);
    volume_->setObjectName(QStringLiteral("volume"));
    volume_->setGeometry(660, 409, 20, 45);
    volume_->setJumpVertically(true);
    connect(volume_, &JumpSlider::thumbPositionReported, this, [this](int position) {
        if (volumeControl_)
            volumeControl_->setFromSlider(position);
    });

    status_ = new StatusDisplay(this);
}

void MainWindow::createDiscFields() {
    const QFont labelFont = SkinFonts::font(12);
    auto label = [&](const QString& text, QRect geometry, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setGeometry(geometry);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setFont(labelFont);
        l->setBuddy(buddy);
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, skin_colour::kSecondaryText);
        palette.setColor(QPalette::Disabled, QPalette::WindowText,
                         mixColour(skin_colour::kSecondaryText, skin_colour::kBodyTop,
                                   skin_colour::kDisabledContrast));
        l->setPalette(palette);
        return l;
    };
    auto field = [&](const QString& name, QRect geometry) {
        auto* edit = new QLineEdit(this);
        edit->setStyleSheet(kFieldStyle);
        edit->setObjectName(name.toLower());
        edit->setAccessibleName(name);
        edit->setGeometry(geometry);
        return edit;
    };
    artist_ = field(QStringLiteral("Artist"), {160, 68, 140, 20});
    album_ = field(QStringLiteral("Album"), {356, 68, 140, 20});
    genre_ = new QComboBox(this);
    genre_->setObjectName(QStringLiteral("genre"));
    genre_->setStyleSheet(kFieldStyle);
    genre_->setAccessibleName(QStringLiteral("Genre"));
    genre_->setGeometry(552, 68, 120, 20);
    genre_->setMaxVisibleItems(16);
    for (const std::string_view name : kGenreNames)
        genre_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    genre_->setCurrentIndex(-1);
    fieldLabels_ = {label(QStringLiteral("&Artist:"), {96, 68, 58, 20}, artist_),
                    label(QStringLiteral("A&lbum:"), {292, 68, 58, 20}, album_),
                    label(QStringLiteral("&Genre:"), {488, 68, 58, 20}, genre_)};

    connect(artist_, &QLineEdit::textEdited, this, [this] { onDiscFieldEdited(kArtistField); });
    connect(album_, &QLineEdit::textEdited, this, [this] { onDiscFieldEdited(kAlbumField); });
    connect(genre_, &QComboBox::activated, this, [this] { onDiscFieldEdited(kGenreField); });
}

void MainWindow::setTooltips() {
    rip_->setHelpText(QStringLiteral("Switch to Ripper"));
    convert_->setHelpText(QStringLiteral("Switch to Encoder"));
    helpButton_->setHelpText(QStringLiteral("Help menu"));
    minimize_->setHelpText(QStringLiteral("Minimize"));
    exit_->setHelpText(QStringLiteral("Exit"));
    // The Options, player and volume tooltips depend on what is attached.
}

void MainWindow::setFocusOrder() {
    const QList<QWidget*> order{rip_,      convert_, option_, helpButton_, minimize_, exit_,
                                artist_,   album_,   genre_,  play_,       pause_,    stop_,
                                previous_, next_,    seek_,   volume_};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void MainWindow::updateControlAvailability() {
    rip_->setEnabled(!jobRunning_);
    convert_->setEnabled(!jobRunning_);
    const bool hasSheet = static_cast<bool>(parts_.runOptionsSheet);
    option_->setEnabled(!jobRunning_ && hasSheet);

    // Why the player or the volume cannot be used, empty when they can.
    const QString playerProblem =
        !player_ ? kNoPlayer : QString::fromStdString(player_->unavailableReason());
    const QString volumeProblem =
        !volumeControl_ ? kNoVolume : QString::fromStdString(volumeControl_->unavailableReason());
    const bool canPlay = playerProblem.isEmpty();
    play_->setEnabled(!jobRunning_ && canPlay);
    if (!canPlay) {
        for (QWidget* control : {static_cast<QWidget*>(pause_), static_cast<QWidget*>(stop_),
                                 static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_),
                                 static_cast<QWidget*>(seek_)})
            control->setEnabled(false);
    }
    // A grey control says why in its tooltip; screen readers get the reason as its description.
    auto explain = [](QWidget* control, const QString& name, const QString& why) {
        control->setToolTip(why.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, why));
        control->setAccessibleName(name);
        control->setAccessibleDescription(why);
    };
    explain(play_, QStringLiteral("Play"), playerProblem);
    explain(pause_, QStringLiteral("Pause"), playerProblem);
    explain(stop_, QStringLiteral("Stop"), playerProblem);
    explain(previous_, QStringLiteral("Previous"), playerProblem);
    explain(next_, QStringLiteral("Next"), playerProblem);
    explain(seek_, QStringLiteral("Seek"), playerProblem);
    explain(volume_, QStringLiteral("Volume"), volumeProblem);
    option_->setHelpText(QStringLiteral("Options dialog"));
    if (!hasSheet)
        option_->setToolTip(QStringLiteral("%1 (%2)").arg(option_->toolTip(), kNoOptions));

    volume_->setEnabled(volumeProblem.isEmpty());
}

void MainWindow::attachPlayer(TransportPlayer* player) {
    player_ = player;
    for (QWidget* control : {static_cast<QWidget*>(pause_), static_cast<QWidget*>(stop_),
                             static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_),
                             static_cast<QWidget*>(seek_)})
        control->setEnabled(false);
    if (player_)
        player_->setMode(ripViewShown_ ? PlayerMode::Cd : PlayerMode::File);
    updateControlAvailability();
    repaintStatus();
}

void MainWindow::attachVolume(VolumeControl* volume) {
    if (volumeControl_)
        volumeControl_->setPositionObserver(nullptr);
    volumeControl_ = volume;
    if (volumeControl_) {
        volume_->setValue(volumeControl_->sliderPosition());
        // A volume changed elsewhere moves the thumb, unless the user holds it.
        volumeControl_->setPositionObserver([this](int position) {
            if (!volume_->isSliderDown())
                volume_->setValue(position);
        });
    }
    updateControlAvailability();
}

BitmapButton& MainWindow::button(const QString& caption) const {
    for (BitmapButton* b : buttons_)
        if (b->text().compare(caption, Qt::CaseInsensitive) == 0)
            return *b;
    qFatal("the main window has no button \"%s\"", qPrintable(caption));
}

LParam MainWindow::handleMessage(UserMessage message, WParam, LParam) {
    switch (message) {
        case UM_TIMER_STOP:
            if (player_)
                player_->suspendTimer();
            break;
        case UM_TIMER_START:
            if (player_)
                player_->resumeTimer();
            break;
        case UM_RIP_BEGIN:
            jobStarted();
            break;
        case UM_RIP_END:
            jobEnded();
            break;
        case UM_OPTIONS_CLOSED:
            // CD playback stops: the rows are about to be built again.
            if (ripViewShown_)
                stopPlayback();
            ripView_->rebuildRows();
            if (parts_.driveDescription)
                driveDescription_ = parts_.driveDescription();
            repaintStatus();
            break;
        case UM_OUTPUT_CHANGED:
            ripView_->showOutputFormat(outputSettings().format);
            break;
        case UM_PLAY_TRACK:
            if (player_)
                player_->play();
            break;
        case UM_STOP_PLAY:
            if (player_)
                player_->stop();
            break;
        case UM_PAUSE_PLAY:
            if (player_)
                player_->togglePause();
            break;
        case UM_NEXT_TRACK:
            if (player_)
                player_->next();
            break;
        case UM_PREV_TRACK:
            if (player_)
                player_->previous();
            break;
        default:
            break;
    }
    return 0;
}

void MainWindow::jobStarted() {
    stopPlayback();
    jobRunning_ = true;
    for (BitmapButton* b : {pause_, next_, previous_, stop_})
        b->setEnabled(false);
    updateControlAvailability();
}

void MainWindow::jobEnded() {
    jobRunning_ = false;
    for (BitmapButton* b : {pause_, next_, previous_, stop_})
        b->setEnabled(false);
    updateControlAvailability();
}

bool MainWindow::somethingPlays() const {
    return ripView_->isPlaying() || convertView_->isPlaying() || (player_ && player_->isPlaying());
}

void MainWindow::stopPlayback() {
    if (player_ && somethingPlays())
        player_->stop();
}

void MainWindow::showRipView() {
    if (ripViewShown_)
        return;
    if (convertViewShown_) {
        convertView_->widget().hide();
        setDiscFieldsEnabled(true);
        if (convertView_->isPlaying() || (player_ && player_->isPlaying()))
            stopPlayback();
    }
    ripView_->widget().show();
    ripViewShown_ = true;
    convertViewShown_ = false;
    if (player_)
        player_->setMode(PlayerMode::Cd);
    updateControlAvailability();
    repaintStatus();
    update();
}

void MainWindow::showConvertView() {
    if (convertViewShown_)
        return;
    if (ripViewShown_)
        ripView_->widget().hide();
    stopPlayback();
    convertView_->widget().show();
    ripViewShown_ = false;
    convertViewShown_ = true;
    if (player_)
        player_->setMode(PlayerMode::File);
    updateControlAvailability();
    repaintStatus();
    update();
    setDiscFieldsEnabled(false);
}

void MainWindow::setDiscFieldsEnabled(bool enabled) {
    for (QWidget* field : {static_cast<QWidget*>(artist_), static_cast<QWidget*>(album_),
                           static_cast<QWidget*>(genre_)})
        field->setEnabled(enabled);
    for (QLabel* label : fieldLabels_)
        label->setEnabled(enabled);
}

void MainWindow::openOptions() {
    if (!parts_.runOptionsSheet || jobRunning_)
        return;
    if (somethingPlays()) {
        const Prompt question{
            kStopAudioQuestion, {}, PromptButtons::OkCancel, PromptIcon::Question};
        if (parts_.prompter->ask(question) != PromptAnswer::Ok)
            return;
        stopPlayback();
    }
    parts_.runOptionsSheet(*this);
    handleMessage(UM_OPTIONS_CLOSED);
}

void MainWindow::openHelp() {
    help_->open();
}

void MainWindow::onDiscFieldEdited(int field) {
    const std::string artist = artist_->text().toStdString();
    const std::string album = album_->text().toStdString();
    const int genre = genre_->currentIndex();
    switch (field) {
        case kArtistField:
            ripView_->applyDiscArtist(artist);
            break;
        case kAlbumField:
            ripView_->applyDiscAlbum(album);
            break;
        default:
            ripView_->applyDiscGenre(genre);
            break;
    }
    discInfoChanged_ = true;
}

void MainWindow::showDiscInfo(const DiscInfo& info) {
    for (auto [field, text] : {std::pair{artist_, &info.artist}, std::pair{album_, &info.album}}) {
        field->setText(QString::fromStdString(*text));
        field->setCursorPosition(0);  // a long text shows its beginning
    }
    genre_->setCurrentIndex(isGenreNumber(info.genreIndex) ? info.genreIndex : -1);
}

void MainWindow::setControlEnabled(TransportControl control, bool enabled) {
    switch (control) {
        case TransportControl::Play:
            play_->setEnabled(enabled && !jobRunning_);
            break;
        case TransportControl::Pause:
            pause_->setEnabled(enabled);
            break;
        case TransportControl::Stop:
            stop_->setEnabled(enabled);
            break;
        case TransportControl::Previous:
            previous_->setEnabled(enabled);
            break;
        case TransportControl::Next:
            next_->setEnabled(enabled);
            break;
        case TransportControl::Seek:
            seek_->setEnabled(enabled);
            break;
    }
}

void MainWindow::setSeekPosition(int position) {
    // The clock does not pull the thumb from under the user's pointer.
    if (!seek_->isSliderDown())
        seek_->setValue(position);
}

int MainWindow::seekPosition() const {
    return seek_->value();
}

StatusArea MainWindow::idleStatusLine() const {
    StatusArea line;
    line.state = "STOP";
    // Only the drive's own audio shows the drive; the file player shows nothing while stopped.
    if (ripViewShown_)
        line.title = QString::fromStdString(driveDescription_)
                         .left(StatusDisplay::kDescriptionLength)
                         .toStdString();
    return line;
}

void MainWindow::repaintStatus() {
    std::optional<StatusArea> playing;
    if (player_)
        playing = player_->statusLine();
    status_->setLine(playing ? *playing : idleStatusLine());
}

void MainWindow::paintEvent(QPaintEvent*) {
    using namespace skin_colour;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    Skin::draw(painter, QStringLiteral("background"), QRectF(1, 1, 700, 468));
    // A short accent bar under the switch of the view that is shown.
    if (const BitmapButton* active = ripViewShown_       ? rip_
                                     : convertViewShown_ ? convert_
                                                         : nullptr) {
        const QRect switchArea = active->geometry();
        painter.setPen(Qt::NoPen);
        painter.setBrush(kAccent);
        painter.drawRoundedRect(
            QRectF(switchArea.center().x() - 12, switchArea.bottom() + 3, 24, 3), 1.5, 1.5);
    }
    painter.setFont(SkinFonts::font(19, true));
    painter.setPen(kText);
    painter.drawText(QRect(68, 14, 260, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Tonalda"));
    painter.setFont(SkinFonts::font(11));
    painter.setPen(kSecondaryText);
    painter.drawText(QRect(68, 38, 260, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("CD ripper and audio converter"));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Neither key ends or dismisses the main window.
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The whole body is the window's caption.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    draggingByHand_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (draggingByHand_)
        move(event->globalPosition().toPoint() - dragOffset_);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    draggingByHand_ = false;
    QWidget::mouseReleaseEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The rip view first (disc information, playing, ripping), then the convert view.
    if (!ripView_->mayClose() || !convertView_->mayClose()) {
        event->ignore();
        return;
    }
    stopPlayback();
    event->accept();
}

}  // namespace tonalda::ui
