#include "ui/ElementTableModel.h"

#include "dissect/KvIAXInformationElement.h"

ElementTableModel::ElementTableModel(KeyColumns columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

void ElementTableModel::setFrame(std::shared_ptr<KvIAXFrame> frame) {
    beginResetModel();
    frame_ = std::move(frame);
    order_.sort(rowCount(), sortColumn_, sortOrder_, [&](int item) { return textOf(item); });
    endResetModel();
}

void ElementTableModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    emit layoutAboutToBeChanged();
    order_.sort(rowCount(), column, order, [&](int item) { return textOf(item); });
    emit layoutChanged();
}

QString ElementTableModel::textOf(int item) const {
    const auto& element = frame_->iaxInformationElements()[static_cast<std::size_t>(item)];
    return columns_.text(element->properties(), sortColumn_).toString();
}

int ElementTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !frame_ ? 0
                                       : static_cast<int>(frame_->iaxInformationElements().size());
}

int ElementTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_.count();
}

QVariant ElementTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || index.row() >= rowCount()) {
        return {};
    }
    const auto& element =
        frame_->iaxInformationElements()[static_cast<std::size_t>(order_.itemAt(index.row()))];
    return columns_.text(element->properties(), index.column());
}

QVariant ElementTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const QVariant title = columns_.header(section, orientation, role);
    return title.isValid() ? title : QAbstractTableModel::headerData(section, orientation, role);
}
