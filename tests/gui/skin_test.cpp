// The skin: every picture the program and its views ask for exists and renders sharp at the
// screen's pixel ratio, the palette keeps text readable, and CJK text renders in the skin font.

#include <QPainter>
#include <QTest>

#include "gui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/skin.h"

namespace tonalda::test {

namespace {

// Draws the text in the skin font and gives the picture.
QImage textPicture(const QString& text) {
    QImage image(120, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(ui::SkinFonts::font(20));
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

}  // namespace

class SkinTest final : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void everyButtonHasItsPictures() {
        // MIN and EXIT have no disabled picture; OPEN shows its up picture when disabled.
        const QStringList withoutDisabled{"MIN", "EXIT", "OPEN"};
        const QStringList all{"RIP",    "CONVERT", "OPTION", "HELP", "PLAY",   "PAUSE",
                              "STOP",   "PRE",     "NEXT",   "MIN",  "EXIT",   "RIPTRACK",
                              "RIPSEG", "REFRESH", "ID3",    "CDDB", "CANCEL", "OPEN",
                              "ADD",    "DELETE",  "CLEAR",  "MP3",  "WMA",    "OGG"};
        for (const QString& base : all) {
            ui::BitmapButton button;
            QVERIFY2(button.setPictures(base), qPrintable(base));
            button.setEnabled(false);
            QCOMPARE(button.currentPicture(),
                     base + (withoutDisabled.contains(base) ? QStringLiteral("U")
                                                            : QStringLiteral("X")));
        }
        ui::BitmapButton unknown;
        QVERIFY(!unknown.setPictures(QStringLiteral("NOSUCH")));
        QVERIFY(unknown.currentPicture().isEmpty());
        // The main window finds the pictures by caption, without regard to case.
        unknown.setText(QStringLiteral("Pre"));
        QVERIFY(unknown.setPicturesFromCaption());
        QCOMPARE(unknown.baseName(), QStringLiteral("PRE"));
    }

    void picturesRenderAtThePixelRatio() {
        for (const char* name : {"tab_mp3", "tab_wma", "tab_ogg", "tab_cdrom", "tab_output",
                                 "tab_freedb", "tab_misc"}) {
            const QPixmap sharp = ui::Skin::pixmap(QString::fromLatin1(name), {14, 14}, 2.0);
            QVERIFY2(!sharp.isNull(), name);
            QCOMPARE(sharp.size(), QSize(28, 28));
            QCOMPARE(sharp.deviceIndependentSize(), QSizeF(14, 14));
            // Something is drawn, and not everywhere.
            const QImage image = sharp.toImage();
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(opaque > 20 && opaque < 28 * 28 / 2, name);
        }
        QVERIFY(ui::Skin::pixmap(QStringLiteral("nosuch"), {14, 14}, 1.0).isNull());
    }

    void textOnTheSkinMeetsTheContrastRule() {
        using namespace ui::skin_colour;
        for (const QColor& background : {kBodyTop, kBodyBottom, kPanel, kWell}) {
            QVERIFY(ui::contrastRatio(kText, background) >= 4.5);
            QVERIFY(ui::contrastRatio(kSecondaryText, background) >= 4.5);
        }
        QVERIFY(ui::contrastRatio(kAccent, kWell) >= 4.5);      // the status word
        QVERIFY(ui::contrastRatio(kOnAccent, kAccent) >= 4.5);  // selected text
        QVERIFY(ui::contrastRatio(kAccent, kBodyTop) >= 4.5);   // progress text on the body
        QCOMPARE(ui::contrastRatio(Qt::black, Qt::white), 21.0);
    }

    void cjkTitlesRenderInTheSkinFont() {
        // Two different strings of missing glyphs would draw the same boxes.
        const QImage first = textPicture(QStringLiteral("坂本龍一"));
        const QImage second = textPicture(QStringLiteral("戦場のメリ"));
        QVERIFY(first != second);
        QVERIFY(first != textPicture(QString()));
    }
};

const GuiTestRegistration<SkinTest> kSkin;

}  // namespace tonalda::test

#include "skin_test.moc"
