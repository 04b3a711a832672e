#pragma once
// The text progress bar of the views' rows: the done part in the bar colour, the rest in the
// background colour, and a centred text (the percentage, or a fixed text) whose characters change
// colour where the bar ends. It repaints only when the done part's width changes.

#include <QColor>
#include <QString>
#include <QWidget>

namespace tonalda::ui {

class TextProgressBar : public QWidget {
    Q_OBJECT

  public:
    explicit TextProgressBar(QWidget* parent = nullptr);

    void setRange(int lower, int upper);
    int lower() const { return lower_; }
    int upper() const { return upper_; }
    // Stores the position and repaints at once when the done width changed. Returns the previous
    // position.
    int setPosition(int position);
    int position() const { return position_; }
    void setStep(int step) { step_ = step; }
    // Advances by the step; returns the previous position.
    int step() { return setPosition(position_ + step_); }

    void setShowText(bool show);
    // A fixed text; when empty the bar shows the percentage. An unchanged text repaints nothing.
    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The text drawn now: the fixed text or "<percent>%".
    QString shownText() const;

    void setBarColour(const QColor& colour);
    void setBackgroundColour(const QColor& colour);
    void setTextColours(const QColor& onBackground, const QColor& onBar);

    // The width of the done part for the current position, or -1 for a range without width.
    int doneWidth() const;
    // The done width at the last paint, -1 before the first one and after a resize.
    int lastDrawnWidth() const { return lastDrawnWidth_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int step_ = 1;
    bool showText_ = true;
    QString text_;
    QColor barColour_;
    QColor backgroundColour_;
    QColor textOnBackground_;
    QColor textOnBar_;
    int lastDrawnWidth_ = -1;
};

}  // namespace tonalda::ui
