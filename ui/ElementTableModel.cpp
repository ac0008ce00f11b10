#include "ui/ElementTableModel.h"

#include "dissect/KvIAXInformationElement.h"

ElementTableModel::ElementTableModel(KeyColumns columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {
    for (const QString& key : columns_.keys) {
        keys_.push_back(PropertyKey::named(key.toStdString()));
    }
}

void ElementTableModel::setFrame(std::shared_ptr<KvIAXFrame> frame) {
    beginResetModel();
    frame_ = std::move(frame);
    endResetModel();
}

int ElementTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !frame_ ? 0
                                       : static_cast<int>(frame_->iaxInformationElements().size());
}

int ElementTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_.count();
}

QVariant ElementTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !frame_ || index.row() >= rowCount() ||
        index.column() >= static_cast<int>(keys_.size())) {
        return {};
    }
    const auto& element = frame_->iaxInformationElements()[static_cast<std::size_t>(index.row())];
    const PropertyValue* value =
        element->properties().find(keys_[static_cast<std::size_t>(index.column())]);
    return value != nullptr ? QString::fromStdString(value->text()) : QString();
}

QVariant ElementTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return columns_.title(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
