#include "ui/text_progress_bar.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace tonalda::ui {

TextProgressBar::TextProgressBar(QWidget* parent) : QWidget(parent) {
    barColour_ = palette().color(QPalette::Highlight);
    backgroundColour_ = palette().color(QPalette::Window);
    textOnBackground_ = barColour_;
    textOnBar_ = backgroundColour_;
}

void TextProgressBar::setRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    update();
}

int TextProgressBar::doneWidth() const {
    if (lower_ >= upper_)
        return -1;
    return static_cast<int>(double(position_ - lower_) / (upper_ - lower_) * width());
}

int TextProgressBar::setPosition(int position) {
    const int previous = position_;
    position_ = position;
    if (doneWidth() != lastDrawnWidth_)
        repaint();
    return previous;
}

void TextProgressBar::setShowText(bool show) {
    showText_ = show;
    update();
}

void TextProgressBar::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
}

QString TextProgressBar::shownText() const {
    if (!text_.isEmpty() || lower_ >= upper_)
        return text_;
    const double fraction = double(position_ - lower_) / (upper_ - lower_);
    return QStringLiteral("%1%").arg(static_cast<int>(fraction * 100));
}

void TextProgressBar::setBarColour(const QColor& colour) {
    barColour_ = colour;
    update();
}

void TextProgressBar::setBackgroundColour(const QColor& colour) {
    backgroundColour_ = colour;
    update();
}

void TextProgressBar::setTextColours(const QColor& onBackground, const QColor& onBar) {
    textOnBackground_ = onBackground;
    textOnBar_ = onBar;
    update();
}

void TextProgressBar::resizeEvent(QResizeEvent* event) {
    lastDrawnWidth_ = -1;
    QWidget::resizeEvent(event);
}

void TextProgressBar::paintEvent(QPaintEvent*) {
    if (lower_ >= upper_) {
        lastDrawnWidth_ = -1;
        return;
    }
    lastDrawnWidth_ = doneWidth();
    // A position outside the range fills all or nothing.
    const int split = std::clamp(lastDrawnWidth_, 0, width());

    // Drawn off screen first, so that the bar never flickers between its two fills.
    const qreal dpr = devicePixelRatioF();
    QPixmap buffer(size() * dpr);
    buffer.setDevicePixelRatio(dpr);
    {
        QPainter painter(&buffer);
        const QRect done(0, 0, split, height());
        const QRect rest(split, 0, width() - split, height());
        painter.fillRect(rect(), backgroundColour_);
        painter.fillRect(done, barColour_);
        if (showText_) {
            const QString text = shownText();
            painter.setFont(font());
            painter.setClipRect(done);
            painter.setPen(textOnBar_);
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
            painter.setClipRect(rest);
            painter.setPen(textOnBackground_);
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

}  // namespace tonalda::ui
