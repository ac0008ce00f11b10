#include "ui/StreamFiguresModel.h"

#include "ui/HeaderWords.h"
StreamFiguresModel::StreamFiguresModel(QObject* parent) : QAbstractTableModel(parent) {
    for (const auto& column : callwriter::streamColumns(quality::StreamFigures{})) {
        titles_ << headerWords(QString::fromUtf8(column.first));
    }
}

void StreamFiguresModel::setFigures(std::vector<quality::StreamFigures> figures) {
    beginResetModel();
    figures_ = std::move(figures);
    order_.clear();
    cachedRow_ = -1;
    endResetModel();
}

void StreamFiguresModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged();
    order_.sort(rowCount(), column, order, [&](int item) {
        return QString::fromStdString(
            callwriter::streamColumns(
                figures_[static_cast<std::size_t>(item)])[static_cast<std::size_t>(column)]
                .second);
    });
    cachedRow_ = -1;
    emit layoutChanged();
}

int StreamFiguresModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(figures_.size());
}

int StreamFiguresModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

const callwriter::Columns& StreamFiguresModel::columnsOf(int row) const {
    if (row != cachedRow_) {
        cached_ = callwriter::streamColumns(figuresAt(row));
        cachedRow_ = row;
    }
    return cached_;
}

QVariant StreamFiguresModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto& columns = columnsOf(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    if (column >= columns.size()) {
        return {};
    }
    return QString::fromStdString(columns[column].second);
}

QVariant StreamFiguresModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return titles_.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
