#pragma once
// The player's status display under the view area: the state word, the title and the time on one
// line at the main window's fixed positions, over the skin's dark display panel.

#include <QWidget>

#include "ui/transport.h"

namespace tonalda::ui {

class StatusArea : public QWidget {
    Q_OBJECT

  public:
    // The area in main-window coordinates, and where its texts start (x) and their line (y).
    static constexpr QRect kGeometry{236, 416, 412, 28};
    static constexpr int kStateX = 245;
    static constexpr int kTitleX = 300;
    static constexpr int kTimeX = 555;
    static constexpr int kLineY = 422;
    // The drive description shows this many characters while nothing plays.
    static constexpr int kDescriptionLength = 30;

    explicit StatusArea(QWidget* parent = nullptr);

    void setLine(const StatusLine& line);
    const StatusLine& line() const { return line_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    StatusLine line_;
};

}  // namespace tonalda::ui
