#pragma once
// The convert list as the view's table shows it: the engine's ConvertList with its six columns,
// right-aligned but for the first, and one file icon on every row. Every change of the list goes
// through this model, so the table follows it.

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <vector>

#include "convert/convert_list.h"
#include "platform/job_events.h"

namespace tonalda {
class Prompter;
}

namespace tonalda::ui {

class ConvertListModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    // The list must outlive the model.
    explicit ConvertListModel(ConvertList& list, QObject* parent = nullptr);

    // Adds the files at the end with the list's duplicate check. The icon of the first file
    // ever added becomes every row's icon. Returns how many rows were added.
    int addFiles(const QStringList& paths, Prompter& prompter);
    // Removes the rows (none: the list's message); false when nothing was removed.
    bool removeRows(const std::vector<int>& rows, Prompter& prompter);
    void clear();
    // A job changed a row's Status, or set every row's (true for all rows).
    void setStatus(int row, RowStatus status);
    void statusesChanged();

    const ConvertList& list() const { return list_; }
    const QIcon& fileIcon() const { return icon_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Widths of the columns as first shown, in pixels.
    static constexpr int kColumnWidths[kConvertColumnCount] = {124, 70, 70, 70, 70, 120};

  private:
    ConvertList& list_;
    // The rows the table knows of: the list grows first, the table is told afterwards.
    int shownRows_ = 0;
    QIcon icon_;
    bool iconTaken_ = false;
};

// The desktop's name for the WAV type ("WAV audio" when it has none).
std::string wavTypeName();

}  // namespace tonalda::ui
