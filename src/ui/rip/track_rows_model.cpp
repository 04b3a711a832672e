#include "ui/rip/track_rows_model.h"

#include "rip/disc_session.h"

namespace tonalda::ui {

namespace {

QString qText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TrackRowsModel::TrackRowsModel(DiscSession& disc, QObject* parent)
    : QAbstractTableModel(parent), disc_(disc) {}

void TrackRowsModel::reload() {
    beginResetModel();
    rows_ = disc_.rows();
    endResetModel();
}

void TrackRowsModel::reloadRows() {
    std::vector<TrackRow> rows = disc_.rows();
    if (rows.size() != rows_.size()) {
        reload();
        return;
    }
    rows_ = std::move(rows);
    if (!rows_.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kTrackColumnCount - 1));
}

void TrackRowsModel::reloadRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    rows_[static_cast<std::size_t>(row)] = disc_.row(row);
    Q_EMIT dataChanged(index(row, 0), index(row, kTrackColumnCount - 1));
}

void TrackRowsModel::setEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    if (!rows_.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kTrackColumnCount - 1));
}

int TrackRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrackRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kTrackColumnCount;
}

QVariant TrackRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TrackRow& row = rows_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<std::size_t>(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return column == kColumnCheck || column == kColumnProgress ? QVariant()
                                                                       : qText(row.text[column]);
        case Qt::ToolTipRole:
            // A long title is cut in its cell.
            return column == kColumnTitle ? qText(row.text[column]) : QVariant();
        case Qt::CheckStateRole:
            return column == kColumnCheck ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked)
                                          : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignCenter);
        case Qt::AccessibleTextRole:
            // The check column has no text: screen readers hear the track it checks.
            return column == kColumnCheck ? qText(row.text[kColumnTitle]) : QVariant();
        default:
            return {};
    }
}

QVariant TrackRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kTrackColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        const std::string_view header = kTrackColumnHeaders[static_cast<std::size_t>(section)];
        return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignCenter);
    return {};
}

Qt::ItemFlags TrackRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || !enabled_)
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kColumnCheck)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool TrackRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kColumnCheck || role != Qt::CheckStateRole ||
        !enabled_)
        return false;
    disc_.setChecked(index.row(), value.toInt() == Qt::Checked);
    reloadRow(index.row());
    Q_EMIT checkToggled(index.row());
    return true;
}

}  // namespace tonalda::ui
