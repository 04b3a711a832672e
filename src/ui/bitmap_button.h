#pragma once
// The skinned command button: draws its up, down or disabled picture from the skin, with its
// caption under or beside the picture's glyph when the layout leaves room, and a focus ring in
// the accent colour for keyboard use.

#include <QAbstractButton>
#include <QString>

#include "ui/skin.h"

namespace tonalda::ui {

class BitmapButton : public QAbstractButton {
    Q_OBJECT

  public:
    enum class CaptionPlacement { Hidden, Below, Beside };

    explicit BitmapButton(QWidget* parent = nullptr);

    // Takes the pictures <baseName>U, <baseName>D and <baseName>X; a button without an X
    // picture shows its up picture when disabled. False (and no pictures) when the skin has no up
    // or down picture of that name.
    bool setPictures(const QString& baseName);
    // The pictures named by the caption, matched without regard to case ("Rip" -> RIP).
    bool setPicturesFromCaption() { return setPictures(text().toUpper()); }
    const QString& baseName() const { return baseName_; }

    void setCaptionPlacement(CaptionPlacement placement);
    // Round pictures get a round focus ring.
    void setRoundFace(bool round) { roundFace_ = round; }
    // The tooltip, which also names the button for screen readers (with the caption as
    // description when both exist).
    void setHelpText(const QString& tooltip);

    // The picture the button shows now.
    QString currentPicture() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ButtonState state() const;

    QString baseName_;
    bool hasDisabledPicture_ = false;
    CaptionPlacement captionPlacement_ = CaptionPlacement::Hidden;
    bool roundFace_ = false;
};

}  // namespace tonalda::ui
