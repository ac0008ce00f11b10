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
    order_.clear();
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
        order_.clear();
        shownRows_ = total;
        endResetModel();
        return;
    }
    const int known = shownRows_;
    if (total > known) {
        beginInsertRows({}, known, total - 1);
        shownRows_ = total;
        order_.grow(total);
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

void TrackerTableModel::sort(int column, Qt::SortOrder order) {
    // A column of a call's verdict needs its streams' figures: sorting by
    // another spares them.
    const bool verdict = rows_ == Rows::Calls && column >= titles_.indexOf("MOS");
    emit layoutAboutToBeChanged();
    order_.sort(shownRows_, column, order, [&](int item) {
        return QString::fromStdString(
            columnsOfItem(item, verdict)[static_cast<std::size_t>(column)].second);
    });
    cachedRow_ = -1;
    emit layoutChanged();
}

const callwriter::Columns& TrackerTableModel::columnsOf(int row) const {
    if (row != cachedRow_) {
        cached_ = columnsOfItem(order_.itemAt(row), true);
        cachedRow_ = row;
    }
    return cached_;
}

callwriter::Columns TrackerTableModel::columnsOfItem(int item, bool withVerdict) const {
    const auto& tracker = capture_->callTracker();
    const auto at = static_cast<std::size_t>(item);
    return rows_ == Rows::Calls ? callwriter::callColumns(tracker.calls()[at],
                                                          withVerdict ? capture_->callVerdict(at)
                                                                      : analysis::CallVerdict{})
                                : callwriter::registrationColumns(tracker.registrations()[at]);
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
