#include "ui/StreamFiguresModel.h"

#include "ui/HeaderWords.h"
StreamFiguresModel::StreamFiguresModel(QObject* parent) : QAbstractTableModel(parent) {
    for (const auto& column : callwriter::streamColumns(analysis::StreamFigures{})) {
        titles_ << headerWords(QString::fromUtf8(column.first));
    }
}

void StreamFiguresModel::setFigures(std::vector<analysis::StreamFigures> figures) {
    beginResetModel();
    figures_ = std::move(figures);
    cachedRow_ = -1;
    endResetModel();
}

int StreamFiguresModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(figures_.size());
}

int StreamFiguresModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

const callwriter::Columns& StreamFiguresModel::columnsOf(int row) const {
    if (row != cachedRow_) {
        cached_ = callwriter::streamColumns(figures_[static_cast<std::size_t>(row)]);
        cachedRow_ = row;
    }
    return cached_;
}

QVariant StreamFiguresModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::UserRole) || !index.isValid() ||
        index.row() >= rowCount()) {
        return {};
    }
    const auto& columns = columnsOf(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    if (column >= columns.size()) {
        return {};
    }
    const QString text = QString::fromStdString(columns[column].second);
    if (role == Qt::UserRole) {
        bool number = false;
        const double value = text.toDouble(&number);
        return number ? QVariant(value) : QVariant(text);
    }
    return text;
}

QVariant StreamFiguresModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return titles_.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
