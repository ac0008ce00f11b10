#include "ui/TrackerTableModel.h"

#include "ui/HeaderWords.h"
#include "app/KvIAXCapture.h"

TrackerTableModel::TrackerTableModel(Rows rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {
    const auto columns = rows == Rows::Calls
                             ? callwriter::callColumns(analysis::Call{}, analysis::CallVerdict{})
                             : callwriter::registrationColumns(analysis::Registration{});
    for (const auto& column : columns) {
        titles_ << headerWords(QString::fromUtf8(column.first));
    }
}

void TrackerTableModel::setCapture(const KvIAXCapture* capture) {
    beginResetModel();
    capture_ = capture;
    shownRows_ = trackedRows();
    cachedRow_ = -1;
    endResetModel();
}

int TrackerTableModel::trackedRows() const {
    if (capture_ == nullptr) {
        return 0;
    }
    const auto& tracker = capture_->callTracker();
    return static_cast<int>(rows_ == Rows::Calls ? tracker.calls().size()
                                                 : tracker.registrations().size());
}

void TrackerTableModel::refresh() {
    const int total = trackedRows();
    cachedRow_ = -1;
    if (total < shownRows_) {
        // The capture's list was replaced: the tracker started over.
        beginResetModel();
        shownRows_ = total;
        endResetModel();
        return;
    }
    const int known = shownRows_;
    if (total > known) {
        beginInsertRows({}, known, total - 1);
        shownRows_ = total;
        endInsertRows();
    }
    if (known > 0) {
        emit dataChanged(index(0, 0), index(known - 1, columnCount() - 1), {Qt::DisplayRole});
    }
}

int TrackerTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int TrackerTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

const callwriter::Columns& TrackerTableModel::columnsOf(int row) const {
    if (row != cachedRow_) {
        const auto& tracker = capture_->callTracker();
        const auto at = static_cast<std::size_t>(row);
        cached_ = rows_ == Rows::Calls
                      ? callwriter::callColumns(tracker.calls()[at], capture_->callVerdict(at))
                      : callwriter::registrationColumns(tracker.registrations()[at]);
        cachedRow_ = row;
    }
    return cached_;
}

QVariant TrackerTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shownRows_ ||
        index.row() >= trackedRows()) {
        return {};
    }
    const auto& columns = columnsOf(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    return column < columns.size() ? QString::fromStdString(columns[column].second) : QVariant();
}

QVariant TrackerTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return titles_.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
