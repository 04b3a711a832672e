#include "ui/bitmap_button.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace tonalda::ui {

namespace {

// Where the pictures leave room for the caption: under the glyph of a top-bar tile, right of the
// glyph of a wide button.
constexpr int kCaptionTopBelow = 29;
constexpr int kCaptionLeftBeside = 31;

// The face colour behind a disabled caption, for its reduced contrast.
const QColor kDisabledFace{0x2C, 0x30, 0x37};

}  // namespace

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {
    // Keyboard users reach the button with Tab; a mouse click does not move the focus ring to it.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

bool BitmapButton::setPictures(const QString& baseName) {
    if (!Skin::hasPicture(Skin::buttonPictureName(baseName, ButtonState::Up)) ||
        !Skin::hasPicture(Skin::buttonPictureName(baseName, ButtonState::Down))) {
        baseName_.clear();
        update();
        return false;
    }
    baseName_ = baseName;
    hasDisabledPicture_ =
        Skin::hasPicture(Skin::buttonPictureName(baseName, ButtonState::Disabled));
    update();
    return true;
}

void BitmapButton::setCaptionPlacement(CaptionPlacement placement) {
    captionPlacement_ = placement;
    update();
}

void BitmapButton::setHelpText(const QString& tooltip) {
    setToolTip(tooltip);
    if (captionPlacement_ != CaptionPlacement::Hidden && !text().isEmpty()) {
        setAccessibleName(text());
        setAccessibleDescription(tooltip);
    } else {
        setAccessibleName(tooltip);
    }
}

ButtonState BitmapButton::state() const {
    if (!isEnabled())
        return hasDisabledPicture_ ? ButtonState::Disabled : ButtonState::Up;
    return isDown() ? ButtonState::Down : ButtonState::Up;
}

QString BitmapButton::currentPicture() const {
    return baseName_.isEmpty() ? QString() : Skin::buttonPictureName(baseName_, state());
}

QSize BitmapButton::sizeHint() const {
    return {64, 48};
}

void BitmapButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QString picture = currentPicture();
    if (!picture.isEmpty())
        Skin::draw(painter, picture, rect());

    if (captionPlacement_ != CaptionPlacement::Hidden && !text().isEmpty()) {
        using namespace skin_colour;
        const ButtonState shown = isEnabled() ? state() : ButtonState::Disabled;
        painter.setPen(shown == ButtonState::Down ? kAccent
                       : shown == ButtonState::Disabled
                           ? mixColour(kText, kDisabledFace, kDisabledContrast)
                           : kText);
        painter.setFont(font());
        const int sink = shown == ButtonState::Down ? 1 : 0;
        if (captionPlacement_ == CaptionPlacement::Below) {
            const QRect area(2, kCaptionTopBelow + sink, width() - 4,
                             height() - kCaptionTopBelow - 3);
            painter.drawText(area, Qt::AlignHCenter | Qt::AlignVCenter,
                             fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
        } else {
            const QRect area(kCaptionLeftBeside, sink, width() - kCaptionLeftBeside - 6, height());
            painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                             fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
        }
    }

    if (hasFocus()) {
        QPen ring(skin_colour::kAccent, 1.5);
        painter.setPen(ring);
        painter.setBrush(Qt::NoBrush);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        const qreal radius = roundFace_ ? std::min(area.width(), area.height()) / 2.0 : 8.0;
        painter.drawRoundedRect(area, radius, radius);
    }
}

}  // namespace tonalda::ui
