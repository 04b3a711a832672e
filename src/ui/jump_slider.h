#pragma once
// The click-to-position slider: a left click jumps the thumb to the clicked place at once (the
// seek slider horizontally, the volume slider vertically), then dragging goes on as usual. Drawn
// in the skin's colours.

#include <QSlider>

namespace tonalda::ui {

// Where a click `offset` pixels from the slider's start lands on a slider `extent` pixels long
// whose range is `rangeWidth` wide: 0 within the first 7 pixels, else
// (offset - 7) * rangeWidth / (extent - 14) in integer arithmetic. A slider too short to have a
// track (extent <= 14) gives 0 rather than dividing by zero.
int jumpPosition(int offset, int rangeWidth, int extent);

class JumpSlider : public QSlider {
    Q_OBJECT

  public:
    explicit JumpSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

    void setJumpHorizontally(bool on) { jumpHorizontally_ = on; }
    void setJumpVertically(bool on) { jumpVertically_ = on; }
    bool jumpsHorizontally() const { return jumpHorizontally_; }
    bool jumpsVertically() const { return jumpVertically_; }
    // The range width as it was refreshed at the last click (100 before any click).
    int rangeWidth() const { return rangeWidth_; }

  Q_SIGNALS:
    // Around a horizontal jump: the player's one-second timer stops before the thumb moves and
    // starts again after the position is reported (UM_TIMER_STOP and UM_TIMER_START).
    void timerStopRequested();
    void timerStartRequested();
    // The thumb came to rest at `position` by a jump, by the end of a drag or by a key: the value
    // the owner acts on (a seek, a volume).
    void thumbPositionReported(int position);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int positionAt(QPoint at) const;

    bool dragging_ = false;
    bool jumpHorizontally_ = false;
    bool jumpVertically_ = false;
    int rangeWidth_ = 100;
};

}  // namespace tonalda::ui
