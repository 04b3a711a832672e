#include "ui/status_display.h"

#include <QPainter>

#include "ui/skin.h"

namespace tonalda::ui {

StatusDisplay::StatusDisplay(QWidget* parent) : QWidget(parent) {
    setGeometry(kGeometry);
    setFont(SkinFonts::font(13));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("Player status"));
}

void StatusDisplay::setLine(const StatusArea& line) {
    if (line == line_)
        return;
    line_ = line;
    setAccessibleDescription(
        QString::fromStdString(line.state + " " + line.title + " " + line.times).simplified());
    update();
}

void StatusDisplay::paintEvent(QPaintEvent*) {
    using namespace skin_colour;
    QPainter painter(this);
    painter.setFont(font());
    const int lineHeight = fontMetrics().height();
    const int top = kStatusTextY - kGeometry.y();
    auto column = [&](int x, int right) {
        return QRect(x - kGeometry.x(), top, right - x, lineHeight);
    };

    painter.setPen(kAccent);
    painter.drawText(column(kStatusStateX, kStatusTitleX - 4), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(line_.state));
    painter.setPen(kText);
    const QRect title = column(kStatusTitleX, kStatusTimesX - 8);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(QString::fromStdString(line_.title), Qt::ElideRight,
                                              title.width()));
    painter.setPen(kSecondaryText);
    painter.drawText(column(kStatusTimesX, kGeometry.right()), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(line_.times));
}

}  // namespace tonalda::ui
