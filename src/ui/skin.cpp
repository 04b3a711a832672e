#include "ui/skin.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QStyleFactory>
#include <QSvgRenderer>
#include <cmath>

namespace tonalda::ui {

namespace {

double linearChannel(double value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor& colour) {
    return 0.2126 * linearChannel(colour.red()) + 0.7152 * linearChannel(colour.green()) +
           0.0722 * linearChannel(colour.blue());
}

// Where Debian's fonts-wine puts its Tahoma, and where a user may have put one.
const char* const kTahomaFiles[] = {
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
    "/usr/share/fonts/truetype/wine/tahoma.ttf",
    "/usr/share/fonts/truetype/wine/tahomabd.ttf",
};

}  // namespace

QColor mixColour(const QColor& colour, const QColor& background, double amount) {
    auto channel = [amount](int c, int b) {
        return static_cast<int>(std::lround(b + (c - b) * amount));
    };
    return QColor(channel(colour.red(), background.red()),
                  channel(colour.green(), background.green()),
                  channel(colour.blue(), background.blue()));
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QString Skin::picturePath(const QString& name) {
    return QStringLiteral(":/skin/%1.svg").arg(name);
}

bool Skin::hasPicture(const QString& name) {
    return QFile::exists(picturePath(name));
}

QString Skin::buttonPictureName(const QString& baseName, ButtonState state) {
    static const char kLetters[] = {'U', 'D', 'X'};
    return baseName + QLatin1Char(kLetters[static_cast<int>(state)]);
}

QPixmap Skin::pixmap(const QString& name, QSize size, qreal dpr) {
    const QSize pixels(static_cast<int>(std::ceil(size.width() * dpr)),
                       static_cast<int>(std::ceil(size.height() * dpr)));
    const QString key =
        QStringLiteral("tonalda-skin/%1/%2x%3").arg(name).arg(pixels.width()).arg(pixels.height());
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        cached.setDevicePixelRatio(dpr);
        return cached;
    }
    QSvgRenderer renderer(picturePath(name));
    if (!renderer.isValid() || pixels.isEmpty())
        return {};
    QPixmap rendered(pixels);
    rendered.fill(Qt::transparent);
    {
        QPainter painter(&rendered);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    QPixmapCache::insert(key, rendered);
    rendered.setDevicePixelRatio(dpr);
    return rendered;
}

void Skin::draw(QPainter& painter, const QString& name, const QRectF& target) {
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap picture = pixmap(name, target.size().toSize(), dpr);
    if (!picture.isNull())
        painter.drawPixmap(target.topLeft(), picture);
}

bool SkinFonts::registerTahoma() {
    static const bool available = [] {
        for (const char* file : kTahomaFiles)
            if (QFile::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        return QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    }();
    return available;
}

QStringList SkinFonts::families() {
    QStringList list{QStringLiteral("Tahoma")};
    const QString desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (!desktop.isEmpty() && desktop != list.front())
        list << desktop;
    list << QStringLiteral("sans-serif");
    return list;
}

QFont SkinFonts::font(int pixelSize, bool bold) {
    registerTahoma();
    QFont font;
    font.setFamilies(families());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void applySkinStyle(QApplication& application) {
    using namespace skin_colour;
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    palette.setColor(QPalette::Window, kBodyTop);
    palette.setColor(QPalette::WindowText, kText);
    palette.setColor(QPalette::Base, kWell);
    palette.setColor(QPalette::AlternateBase, kPanel);
    palette.setColor(QPalette::Text, kText);
    palette.setColor(QPalette::PlaceholderText, kSecondaryText);
    palette.setColor(QPalette::Button, kPanel);
    palette.setColor(QPalette::ButtonText, kText);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, kAccent);
    palette.setColor(QPalette::HighlightedText, kOnAccent);
    palette.setColor(QPalette::Link, kAccent);
    palette.setColor(QPalette::LinkVisited, kAccentDark);
    palette.setColor(QPalette::ToolTipBase, kWell);
    palette.setColor(QPalette::ToolTipText, kText);
    palette.setColor(QPalette::Light, kHairline);
    palette.setColor(QPalette::Midlight, kHairline);
    palette.setColor(QPalette::Mid, kBodyBottom);
    palette.setColor(QPalette::Dark, kBodyBottom);
    palette.setColor(QPalette::Shadow, Qt::black);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, mixColour(kText, kBodyTop, kDisabledContrast));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, kHairline);
    // A disabled field sinks into the body instead of keeping its dark well.
    palette.setColor(QPalette::Disabled, QPalette::Base, kBodyTop);
    application.setPalette(palette);
    application.setFont(SkinFonts::font(12));
    // A checked push button (a mode switch of the settings pages), a chosen radio button and a
    // ticked check box show the accent, so that the choice stands out on the dark body.
    application.setStyleSheet(QStringLiteral(
        "QPushButton:checked { background: #1F7FCC; color: #FFFFFF; border: 1px solid #3FA9F5;"
        " border-radius: 3px; padding: 3px 10px; }"
        "QRadioButton::indicator { width: 14px; height: 14px; }"
        "QRadioButton::indicator:checked { image: url(:/skin/radio_on.svg); }"
        "QRadioButton::indicator:unchecked { image: url(:/skin/radio_off.svg); }"
        "QRadioButton::indicator:checked:disabled { image: url(:/skin/radio_on_disabled.svg); }"
        "QRadioButton::indicator:unchecked:disabled {"
        " image: url(:/skin/radio_off_disabled.svg); }"
        "QCheckBox::indicator { width: 14px; height: 14px; }"
        "QCheckBox::indicator:checked, QCheckBox::indicator:indeterminate {"
        " image: url(:/skin/check_on.svg); }"
        "QCheckBox::indicator:unchecked { image: url(:/skin/check_off.svg); }"
        "QCheckBox::indicator:checked:disabled { image: url(:/skin/check_on_disabled.svg); }"
        "QCheckBox::indicator:unchecked:disabled {"
        " image: url(:/skin/check_off_disabled.svg); }"));
}

}  // namespace tonalda::ui
