#include "ui/status_area.h"

#include <QPainter>

#include "ui/skin.h"

namespace tonalda::ui {

StatusArea::StatusArea(QWidget* parent) : QWidget(parent) {
    setGeometry(kGeometry);
    setFont(SkinFonts::font(13));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("Player status"));
}

void StatusArea::setLine(const StatusLine& line) {
    if (line == line_)
        return;
    line_ = line;
    setAccessibleDescription(
        QStringList{line.paused ? QStringLiteral("PAUSE") : line.state, line.title, line.time}
            .join(QLatin1Char(' '))
            .simplified());
    update();
}

void StatusArea::paintEvent(QPaintEvent*) {
    using namespace skin_colour;
    QPainter painter(this);
    painter.setFont(font());
    const int lineHeight = fontMetrics().height();
    const int top = kLineY - kGeometry.y();
    auto column = [&](int x, int right) {
        return QRect(x - kGeometry.x(), top, right - x, lineHeight);
    };

    painter.setPen(kAccent);
    painter.drawText(column(kStateX, kTitleX - 4), Qt::AlignLeft | Qt::AlignVCenter,
                     line_.paused ? QStringLiteral("PAUSE") : line_.state);
    painter.setPen(kText);
    const QRect title = column(kTitleX, kTimeX - 8);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(line_.title, Qt::ElideRight, title.width()));
    painter.setPen(kSecondaryText);
    painter.drawText(column(kTimeX, kGeometry.right()), Qt::AlignLeft | Qt::AlignVCenter,
                     line_.time);
}

}  // namespace tonalda::ui
