#pragma once
// The skin: the program's SVG pictures (compiled into the Qt resource under ":/skin/"), rendered
// at the screen's device pixel ratio, and the palette and fonts that go with them.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>

class QApplication;
class QPainter;
class QRectF;

namespace tonalda::ui {

// The colours every picture and widget of the program shares.
namespace skin_colour {
inline const QColor kBodyTop{0x2B, 0x2F, 0x36};
inline const QColor kBodyBottom{0x1B, 0x1E, 0x23};
inline const QColor kHairline{0x4A, 0x50, 0x5A};
inline const QColor kPanel{0x34, 0x39, 0x41};
inline const QColor kWell{0x16, 0x18, 0x1C};
inline const QColor kText{0xE8, 0xEA, 0xED};
inline const QColor kSecondaryText{0xA9, 0xAF, 0xB8};
inline const QColor kAccent{0x3F, 0xA9, 0xF5};
inline const QColor kAccentDark{0x1F, 0x7F, 0xCC};
inline const QColor kOnAccent{0x12, 0x15, 0x1A};
// The lists: their columns in two alternating stripes, the grid between the cells, and the text
// an empty list shows (a warm orange that stands out from the accent).
inline const QColor kListStripeEven{0x1F, 0x22, 0x27};
inline const QColor kListStripeOdd{0x26, 0x2A, 0x31};
inline const QColor kListGrid{0x33, 0x38, 0x40};
inline const QColor kListNotice{0xFF, 0xAE, 0x0C};
// Disabled pictures and text keep about 40 % of their contrast.
constexpr double kDisabledContrast = 0.4;
}  // namespace skin_colour

// `colour` at `amount` (0..1) of its contrast against `background`.
QColor mixColour(const QColor& colour, const QColor& background, double amount);
// The WCAG contrast ratio of two colours (1 to 21).
double contrastRatio(const QColor& a, const QColor& b);

// The three pictures of a skinned button.
enum class ButtonState { Up, Down, Disabled };

class Skin {
  public:
    // The resource path of a picture: ":/skin/<name>.svg".
    static QString picturePath(const QString& name);
    static bool hasPicture(const QString& name);
    // A button picture's name: base name and the state's letter ("RIPU", "RIPD", "RIPX").
    static QString buttonPictureName(const QString& baseName, ButtonState state);

    // The picture drawn into `size` device-independent pixels at the ratio `dpr`, cached. A null
    // pixmap when the picture does not exist.
    static QPixmap pixmap(const QString& name, QSize size, qreal dpr);
    // Draws the picture into `target`, rendered for the painter's device pixel ratio.
    static void draw(QPainter& painter, const QString& name, const QRectF& target);
};

// The skin's fonts: Tahoma (from Debian's fonts-wine when it is installed) with the desktop's
// sans-serif behind it for the characters Tahoma lacks, CJK among them.
class SkinFonts {
  public:
    // Registers the Tahoma files with the application's font database once; true when Tahoma is
    // now available.
    static bool registerTahoma();
    // The font family list: Tahoma, the desktop's sans-serif and a generic fallback.
    static QStringList families();
    // A skin font of the given pixel size (the status area uses 13, the rest 12).
    static QFont font(int pixelSize, bool bold = false);
};

// The program's look for the whole application: the Fusion style with the skin's dark palette
// and fonts, so that dialogs and message boxes match the skinned main window.
void applySkinStyle(QApplication& application);

}  // namespace tonalda::ui
