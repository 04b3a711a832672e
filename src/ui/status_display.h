#pragma once
// The player's status display under the view area: the state word, the title and the time on one
// line at the main window's fixed positions, over the skin's dark display panel.

#include <QWidget>

#include "playback/player.h"

namespace tonalda::ui {

class StatusDisplay : public QWidget {
    Q_OBJECT

  public:
    // The display in main-window coordinates; its texts start at the players' positions
    // (kStatusStateX, kStatusTitleX, kStatusTimesX on the line kStatusTextY).
    static constexpr QRect kGeometry{236, 416, 412, 28};
    // The drive description shows this many characters while nothing plays.
    static constexpr int kDescriptionLength = 30;

    explicit StatusDisplay(QWidget* parent = nullptr);

    void setLine(const StatusArea& line);
    const StatusArea& line() const { return line_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    StatusArea line_;
};

}  // namespace tonalda::ui
