#pragma once
// The program's one window: frameless and rounded, dragged by its body, with the view switches,
// Options and Help at the top, the disc's artist, album and genre fields, the view area and the
// transport bar with the status area. It loads the settings at start-up, hosts the rip and
// convert views, and handles the messages the views and pages send it.

#include <QPoint>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/messages.h"
#include "ui/transport.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tonalda {
class Prompter;
struct DiscInfo;
}  // namespace tonalda

namespace tonalda::ui {

class BitmapButton;
class HelpLauncher;
class JumpSlider;
class MainWindow;
class ProgramView;
class StatusDisplay;
class TrackRowsView;

inline constexpr const char* kStopAudioQuestion =
    "Audio playing will be stopped! would you like to continue?";

// What the program plugs into the main window. Everything but the prompter may be left empty:
// the view area then shows the views' background, the Options button stays disabled, and so on.
struct MainWindowParts {
    // Message boxes (start-up errors, questions). Required.
    Prompter* prompter = nullptr;
    // The views, made once at start-up, rip view first.
    std::function<std::unique_ptr<TrackRowsView>(MainWindow&)> makeRipView;
    std::function<std::unique_ptr<ProgramView>(MainWindow&)> makeConvertView;
    // Runs the Options sheet modally over the window and returns when it closes.
    std::function<void(MainWindow&)> runOptionsSheet;
    // Vendor and product of the drive chosen in the CD-ROM settings (empty without one); asked at
    // start-up and again after the Options sheet closes.
    std::function<std::string()> driveDescription;
    // Opens a URL in the desktop's browser (QDesktopServices by default).
    std::function<bool(const QUrl&)> openUrl;
};

class MainWindow : public QWidget, public TransportBar {
    Q_OBJECT

  public:
    // The window's size and where the views go, in device-independent pixels.
    static constexpr QSize kSize{702, 470};
    static constexpr QRect kViewArea{20, 90, 662, 305};

    // Runs the start-up steps: icons, settings groups (one message per group that fails to load),
    // the window's shape, the views, the controls and their tooltips.
    explicit MainWindow(MainWindowParts parts, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The player behind the transport bar; nullptr detaches it. The player must stay alive while
    // attached. Thread: the user interface thread, as every call below.
    void attachPlayer(TransportPlayer* player);
    TransportPlayer* player() const { return player_; }
    // The master volume behind the volume slider; nullptr detaches it.
    void attachVolume(VolumeControl* volume);

    // The window's message handling (the UM_* messages of the views, pages and slider).
    LParam handleMessage(UserMessage message, WParam wParam = 0, LParam lParam = 0);

    bool ripViewShown() const { return ripViewShown_; }
    bool convertViewShown() const { return convertViewShown_; }
    TrackRowsView& ripView() { return *ripView_; }
    ProgramView& convertView() { return *convertView_; }

    // Set whenever the user edits the disc's artist, album or genre; the rip view asks about
    // saving the disc information when it is set.
    bool discInfoChanged() const { return discInfoChanged_; }
    void setDiscInfoChanged(bool changed) { discInfoChanged_ = changed; }
    // Shows the disc information in the artist, album and genre fields without counting it as an
    // edit (after a refresh or a lookup).
    void showDiscInfo(const DiscInfo& info);

    // The controls, for the views and for tests.
    BitmapButton& button(const QString& caption) const;
    JumpSlider& seekSlider() const { return *seek_; }
    JumpSlider& volumeSlider() const { return *volume_; }
    StatusDisplay& statusDisplay() const { return *status_; }
    const std::string& driveDescription() const { return driveDescription_; }

    // TransportBar, for the attached player.
    void setControlEnabled(TransportControl control, bool enabled) override;
    void setSeekPosition(int position) override;
    int seekPosition() const override;
    void repaintStatus() override;

  public Q_SLOTS:
    void showRipView();
    void showConvertView();
    void openOptions();
    void openHelp();
    // Exit: ends the program when both views agree.
    void requestExit() { close(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void loadSettings();
    void createViews();
    void createControls();
    void createDiscFields();
    void setTooltips();
    void setFocusOrder();
    void placeView(QWidget& view);
    void onDiscFieldEdited(int field);
    // The artist, album and genre fields with their labels: usable on the rip view only.
    void setDiscFieldsEnabled(bool enabled);
    void jobStarted();
    void jobEnded();
    // Whether either view or the player is playing.
    bool somethingPlays() const;
    void stopPlayback();
    void updateControlAvailability();
    StatusArea idleStatusLine() const;
    BitmapButton* makeButton(const QString& caption, QRect geometry, bool round = false);

    MainWindowParts parts_;
    std::unique_ptr<HelpLauncher> help_;
    std::unique_ptr<TrackRowsView> ripView_;
    std::unique_ptr<ProgramView> convertView_;
    TransportPlayer* player_ = nullptr;
    VolumeControl* volumeControl_ = nullptr;

    bool ripViewShown_ = false;
    bool convertViewShown_ = false;
    bool jobRunning_ = false;
    bool discInfoChanged_ = false;
    std::string driveDescription_;

    std::array<BitmapButton*, 11> buttons_{};
    BitmapButton* rip_ = nullptr;
    BitmapButton* convert_ = nullptr;
    BitmapButton* option_ = nullptr;
    BitmapButton* helpButton_ = nullptr;
    BitmapButton* play_ = nullptr;
    BitmapButton* pause_ = nullptr;
    BitmapButton* stop_ = nullptr;
    BitmapButton* previous_ = nullptr;
    BitmapButton* next_ = nullptr;
    BitmapButton* minimize_ = nullptr;
    BitmapButton* exit_ = nullptr;
    JumpSlider* seek_ = nullptr;
    JumpSlider* volume_ = nullptr;
    QLineEdit* artist_ = nullptr;
    QLineEdit* album_ = nullptr;
    QComboBox* genre_ = nullptr;
    std::array<QLabel*, 3> fieldLabels_{};
    StatusDisplay* status_ = nullptr;

    // Dragging by hand where the window system cannot move the window itself.
    bool draggingByHand_ = false;
    QPoint dragOffset_;
};

}  // namespace tonalda::ui
