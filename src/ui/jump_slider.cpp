#include "ui/jump_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cstdint>

#include "ui/skin.h"

namespace tonalda::ui {

namespace {

// The track leaves this many pixels free at each end, which the jump arithmetic skips.
constexpr int kTrackMargin = 7;

}  // namespace

int jumpPosition(int offset, int rangeWidth, int extent) {
    if (offset < kTrackMargin || extent <= 2 * kTrackMargin)
        return 0;
    return static_cast<int>(static_cast<std::int64_t>(offset - kTrackMargin) * rangeWidth /
                            (extent - 2 * kTrackMargin));
}

JumpSlider::JumpSlider(Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent) {
    setRange(0, 100);
    setFocusPolicy(Qt::StrongFocus);
    if (orientation == Qt::Vertical) {
        // The lowest value sits at the top, and the Up key moves the thumb up.
        setInvertedAppearance(true);
        setInvertedControls(true);
    }
}

void JumpSlider::mousePressEvent(QMouseEvent* event) {
    const bool horizontal = orientation() == Qt::Horizontal;
    const bool jumps = horizontal ? jumpHorizontally_ : jumpVertically_;
    if (event->button() != Qt::LeftButton || !jumps) {
        QSlider::mousePressEvent(event);
        return;
    }
    rangeWidth_ = maximum() - minimum();
    const int position = positionAt(event->position().toPoint());
    if (horizontal)
        Q_EMIT timerStopRequested();
    setValue(position);
    Q_EMIT thumbPositionReported(value());
    if (horizontal)
        Q_EMIT timerStartRequested();
    // The thumb is under the pointer now: a drag from here moves it by the same arithmetic.
    dragging_ = true;
    setSliderDown(true);
    event->accept();
}

int JumpSlider::positionAt(QPoint at) const {
    return orientation() == Qt::Horizontal ? jumpPosition(at.x(), rangeWidth_, width())
                                           : jumpPosition(at.y(), rangeWidth_, height());
}

void JumpSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QSlider::mouseMoveEvent(event);
        return;
    }
    setSliderPosition(positionAt(event->position().toPoint()));
    event->accept();
}

void JumpSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        QSlider::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    setSliderDown(false);
    Q_EMIT thumbPositionReported(value());
    event->accept();
}

void JumpSlider::keyPressEvent(QKeyEvent* event) {
    const int before = value();
    QSlider::keyPressEvent(event);
    if (value() != before)
        Q_EMIT thumbPositionReported(value());
}

void JumpSlider::wheelEvent(QWheelEvent* event) {
    // The wheel would move the thumb without a position report, leaving it out of step with
    // what plays; it scrolls the window under the slider instead.
    event->ignore();
}

void JumpSlider::paintEvent(QPaintEvent*) {
    using namespace skin_colour;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool horizontal = orientation() == Qt::Horizontal;
    const int extent = horizontal ? width() : height();
    const int span = maximum() - minimum();
    const double fraction = span > 0 ? double(value() - minimum()) / span : 0.0;
    const double along = kTrackMargin + fraction * (extent - 2 * kTrackMargin);
    const double across = (horizontal ? height() : width()) / 2.0;

    auto point = [horizontal, across](double a) {
        return horizontal ? QPointF(a, across) : QPointF(across, a);
    };
    const QColor groove = kWell;
    const QColor fill = isEnabled() ? kAccent : mixColour(kHairline, kBodyTop, kDisabledContrast);
    QPen pen(groove, 4, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(point(kTrackMargin), point(extent - kTrackMargin));
    pen.setColor(fill);
    painter.setPen(pen);
    // The seek slider fills up to the thumb; the volume slider (full at the top) below it.
    if (horizontal)
        painter.drawLine(point(kTrackMargin), point(along));
    else
        painter.drawLine(point(along), point(extent - kTrackMargin));

    const QColor knob = isEnabled() ? kText : mixColour(kText, kBodyTop, kDisabledContrast);
    painter.setPen(hasFocus() ? QPen(kAccent, 2) : QPen(kBodyBottom, 1));
    painter.setBrush(knob);
    const double radius = hasFocus() ? 6.0 : 5.5;
    painter.drawEllipse(point(along), radius, radius);
}

}  // namespace tonalda::ui
