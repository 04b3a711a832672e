#pragma once
// The track rows of the disc session as a Qt table: the column texts, the check boxes of the
// first column and the header texts. The rows live in the DiscSession; this model keeps a copy
// for painting and reads rows again when the view says they changed.

#include <QAbstractTableModel>
#include <vector>

#include "rip/track_list.h"

namespace tonalda {
class DiscSession;
}

namespace tonalda::ui {

// Thread: the user interface thread.
class TrackRowsModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit TrackRowsModel(DiscSession& disc, QObject* parent = nullptr);

    // The rows were built anew (a refresh): everything is read again.
    void reload();
    // Texts or checks of existing rows changed: every row is read again, the selection stays.
    void reloadRows();
    void reloadRow(int row);
    // Whether the rows take clicks (a list without a disc is disabled).
    void setEnabled(bool enabled);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The check boxes of the first column: the session's check of the row.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  Q_SIGNALS:
    // The user checked or unchecked a row.
    void checkToggled(int row);

  private:
    DiscSession& disc_;
    std::vector<TrackRow> rows_;
    bool enabled_ = true;
};

}  // namespace tonalda::ui
