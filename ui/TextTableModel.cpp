#include "ui/TextTableModel.h"

TextTableModel::TextTableModel(QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), titles_(std::move(titles)) {}

void TextTableModel::setRows(std::vector<QStringList> rows) {
    if (rows.size() < rows_.size()) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    const int known = static_cast<int>(rows_.size());
    const int total = static_cast<int>(rows.size());
    if (total > known) {
        beginInsertRows({}, known, total - 1);
        rows_.insert(rows_.end(), std::make_move_iterator(rows.begin() + known),
                     std::make_move_iterator(rows.end()));
        endInsertRows();
    }
    for (int row = 0; row < known; ++row) {
        rows_[static_cast<std::size_t>(row)] = std::move(rows[static_cast<std::size_t>(row)]);
    }
    if (known > 0) {
        emit dataChanged(index(0, 0), index(known - 1, columnCount() - 1), {Qt::DisplayRole});
    }
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return rows_[static_cast<std::size_t>(index.row())].value(index.column());
}

QVariant TextTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return titles_.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
