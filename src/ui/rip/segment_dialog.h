#pragma once
// The "Rip Segment" dialog: a range of frames of the disc, chosen with two sliders and two frame
// boxes, with read-outs of where its ends lie and how long it is, an output file, and Begin,
// Play, Stop, Cancel and Exit. Begin runs the engine's segment rip; Play has the drive play the
// range itself.

#include <QDialog>
#include <QSlider>
#include <QSpinBox>
#include <functional>
#include <optional>
#include <vector>

#include "platform/job_events.h"
#include "rip/segment_range.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tonalda {
class CdEngine;
class DiscSession;
class Prompter;
class SegmentRip;
}  // namespace tonalda

namespace tonalda::ui {

class JobEventBridge;
class TextProgressBar;

// Asks for a file to save to: parent, suggested path, the one filter entry and the default
// suffix (without dot). An empty result means cancelled.
using SaveFileChooser = std::function<QString(QWidget* parent, const QString& suggested,
                                              const QString& filter, const QString& suffix)>;
// The desktop's Save As dialog.
QString chooseSaveFileWithDialog(QWidget* parent, const QString& suggested, const QString& filter,
                                 const QString& suffix);

// A frame box: digits only, any number of them, so that a frame beyond the disc can be typed and
// answered. It tells typed frames and arrow steps apart from values the dialog sets.
class FrameBox final : public QSpinBox {
    Q_OBJECT

  public:
    explicit FrameBox(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString typedText() const;

  Q_SIGNALS:
    void frameTyped(quint64 frame);
    void frameStepped(int frame);

  protected:
    QValidator::State validate(QString& input, int& position) const override;
    int valueFromText(const QString& text) const override;

  private:
    std::optional<quint64> typed_;
};

// A slider with a tick at each track's start.
class TrackSlider final : public QSlider {
    Q_OBJECT

  public:
    explicit TrackSlider(QWidget* parent = nullptr);
    void setTicks(std::vector<int> positions);
    const std::vector<int>& ticks() const { return ticks_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<int> ticks_;
};

struct SegmentDialogParts {
    DiscSession& disc;
    CdEngine& engine;
    // The view's segment rip; the dialog starts and stops it and closes only once it has ended.
    SegmentRip& job;
    JobEventBridge& bridge;
    Prompter& prompter;
    SaveFileChooser chooseFile = chooseSaveFileWithDialog;
};

// Thread: the user interface thread.
class SegmentDialog : public QDialog {
    Q_OBJECT

  public:
    SegmentDialog(SegmentDialogParts parts, QWidget* parent = nullptr);
    ~SegmentDialog() override;

    const SegmentSelection& selection() const { return selection_; }
    bool busy() const { return busy_; }
    bool playing() const { return playing_; }

    // The buttons.
    void begin();
    void play();
    void stop();
    void cancel();
    void changeOutput();
    // Exit: stops playback, cancels a rip and closes once the rip has ended.
    void exit();

    // Controls, for tests and pictures.
    FrameBox& startBox() const { return *startBox_; }
    FrameBox& endBox() const { return *endBox_; }
    TrackSlider& startSlider() const { return *startSlider_; }
    TrackSlider& endSlider() const { return *endSlider_; }
    QLineEdit& outputEdit() const { return *output_; }
    TextProgressBar& progressBar() const { return *progress_; }
    QString statusText() const;
    QString readOut(const char* name) const;
    QPushButton& button(const char* name) const;

  public Q_SLOTS:
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void onJobEvent(const JobNotice& notice);
    void startSliderMoved(int position);
    void endSliderMoved(int position);
    void startTyped(quint64 frame);
    void endTyped(quint64 frame);
    // Boxes, sliders, read-outs and totals from the selection.
    void showSelection();
    void setIdle(bool idle);
    std::optional<std::filesystem::path> outputName() const;

    SegmentDialogParts parts_;
    SegmentDisc disc_;
    SegmentSelection selection_;
    std::int32_t format_ = 0;
    std::filesystem::path ripFolder_;
    bool busy_ = false;
    bool playing_ = false;
    bool exitPending_ = false;
    bool updating_ = false;  // the dialog moves its own controls

    FrameBox* startBox_ = nullptr;
    FrameBox* endBox_ = nullptr;
    TrackSlider* startSlider_ = nullptr;
    TrackSlider* endSlider_ = nullptr;
    QLabel* startTrack_ = nullptr;
    QLabel* startTime_ = nullptr;
    QLabel* endTrack_ = nullptr;
    QLabel* endTime_ = nullptr;
    QLabel* totalFrames_ = nullptr;
    QLabel* totalTime_ = nullptr;
    QLabel* totalSize_ = nullptr;
    QLineEdit* output_ = nullptr;
    TextProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* begin_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPushButton* change_ = nullptr;
};

}  // namespace tonalda::ui
