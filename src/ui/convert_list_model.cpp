#include "ui/convert_list_model.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <algorithm>

namespace tonalda::ui {

std::string wavTypeName() {
    const QMimeType type =
        QMimeDatabase().mimeTypeForFile(QStringLiteral("a.wav"), QMimeDatabase::MatchExtension);
    const QString comment = type.isValid() && !type.isDefault() ? type.comment() : QString();
    return comment.isEmpty() ? std::string(kWavTypeName) : comment.toStdString();
}

ConvertListModel::ConvertListModel(ConvertList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), shownRows_(list.rowCount()) {}

int ConvertListModel::addFiles(const QStringList& paths, Prompter& prompter) {
    if (paths.isEmpty())
        return 0;
    if (!iconTaken_) {
        // The first file's icon stands for every row, for the life of the view.
        QFileIconProvider provider;
        icon_ = provider.icon(QFileInfo(paths.front()));
        if (icon_.isNull())
            icon_ = provider.icon(QFileIconProvider::File);
        iconTaken_ = true;
    }
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(path.toStdString());
    const int added = list_.addFiles(files, prompter);
    if (added > 0) {
        beginInsertRows({}, shownRows_, list_.rowCount() - 1);
        shownRows_ = list_.rowCount();
        endInsertRows();
    }
    return added;
}

bool ConvertListModel::removeRows(const std::vector<int>& rows, Prompter& prompter) {
    std::vector<int> valid;
    for (const int row : rows)
        if (row >= 0 && row < shownRows_)
            valid.push_back(row);
    if (valid.empty())
        return list_.removeRows({}, prompter);  // says that nothing is selected
    // One row at a time from the bottom, so the table's rows above keep their positions.
    std::sort(valid.begin(), valid.end(), std::greater<>());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    for (const int row : valid) {
        beginRemoveRows({}, row, row);
        list_.removeRows({row}, prompter);
        shownRows_ = list_.rowCount();
        endRemoveRows();
    }
    return true;
}

void ConvertListModel::clear() {
    if (shownRows_ == 0 && list_.rowCount() == 0)
        return;
    beginResetModel();
    list_.clear();
    shownRows_ = 0;
    endResetModel();
}

void ConvertListModel::setStatus(int row, RowStatus status) {
    if (row < 0 || row >= shownRows_)
        return;
    list_.row(row).status = statusText(status);
    const QModelIndex cell = index(row, kConvertStatus);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

void ConvertListModel::statusesChanged() {
    if (shownRows_ > 0)
        Q_EMIT dataChanged(index(0, kConvertStatus), index(shownRows_ - 1, kConvertStatus),
                           {Qt::DisplayRole});
}

int ConvertListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int ConvertListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kConvertColumnCount;
}

QVariant ConvertListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shownRows_)
        return {};
    const ConvertItem& item = list_.row(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kConvertFilename:
                    return QString::fromStdString(item.fileName);
                case kConvertPath:
                    return QString::fromStdString(item.path);
                case kConvertSize:
                    return QString::fromStdString(item.size);
                case kConvertType:
                    return QString::fromStdString(item.type);
                case kConvertStatus:
                    return QString::fromStdString(item.status);
                default:
                    return {};
            }
        case Qt::ToolTipRole:
            // The narrow columns cut names short; the whole path is a hover away.
            return index.column() <= kConvertPath ? QString::fromStdString(item.path) : QVariant();
        case Qt::DecorationRole:
            return index.column() == kConvertFilename ? QVariant(icon_) : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(
                (index.column() == kConvertFilename ? Qt::AlignLeft : Qt::AlignRight) |
                Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ConvertListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kConvertColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        const std::string_view header = kConvertColumnHeaders[section];
        return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == kConvertFilename ? Qt::AlignLeft : Qt::AlignRight) |
                                   Qt::AlignVCenter);
    return {};
}

}  // namespace tonalda::ui
