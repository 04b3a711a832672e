#pragma once
// The view area's background: what a view slot shows while no view is plugged into it. It holds
// no rows, so the disc fields and the Options sheet change nothing here, and it never objects to
// the program closing.

#include <QWidget>

#include "ui/program_view.h"

namespace tonalda::ui {

class EmptyView final : public QWidget, public TrackRowsView {
    Q_OBJECT

  public:
    explicit EmptyView(const QString& name, QWidget* parent = nullptr);

    QWidget& widget() override { return *this; }
    bool isPlaying() const override { return false; }
    bool mayClose() override { return true; }
    void applyDiscArtist(const std::string&) override {}
    void applyDiscAlbum(const std::string&) override {}
    void applyDiscGenre(std::int32_t) override {}
    void showOutputFormat(std::int32_t) override {}
    void rebuildRows() override {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tonalda::ui
