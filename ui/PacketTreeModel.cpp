#include "ui/PacketTreeModel.h"

PacketTreeModel::PacketTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void PacketTreeModel::setTree(fields::TreeItem root) {
    beginResetModel();
    root_ = std::move(root);
    parents_.clear();
    link(root_);
    endResetModel();
}

void PacketTreeModel::link(const fields::TreeItem& item) {
    for (std::size_t i = 0; i < item.children.size(); ++i) {
        parents_[&item.children[i]] = {&item, static_cast<int>(i)};
        link(item.children[i]);
    }
}

const fields::TreeItem& PacketTreeModel::itemOrRoot(const QModelIndex& index) const {
    return index.isValid() ? *static_cast<const fields::TreeItem*>(index.internalPointer()) : root_;
}

const fields::TreeItem* PacketTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? &itemOrRoot(index) : nullptr;
}

QString PacketTreeModel::pathOf(const QModelIndex& index) const {
    QString path;
    for (QModelIndex at = index; at.isValid(); at = at.parent()) {
        const fields::TreeItem& item = itemOrRoot(at);
        QString step = item.field != nullptr ? QString::fromStdString(item.field->name)
                                             : QString::fromStdString(item.text);
        // A group by its kind and first word of its value, not the whole value.
        if (item.field == nullptr) {
            step = step.section(':', 0, 1);
        }
        path = path.isEmpty() ? step : step + "/" + path;
    }
    return path;
}

QModelIndex PacketTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const fields::TreeItem& under = itemOrRoot(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(under.children.size())) {
        return {};
    }
    return createIndex(
        row, 0, const_cast<fields::TreeItem*>(&under.children[static_cast<std::size_t>(row)]));
}

QModelIndex PacketTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) {
        return {};
    }
    const auto found = parents_.find(&itemOrRoot(child));
    if (found == parents_.end() || found->second.first == &root_) {
        return {};
    }
    const fields::TreeItem* parent = found->second.first;
    const auto above = parents_.find(parent);
    return above == parents_.end()
               ? QModelIndex()
               : createIndex(above->second.second, 0, const_cast<fields::TreeItem*>(parent));
}

int PacketTreeModel::rowCount(const QModelIndex& parent) const {
    return parent.column() > 0 ? 0 : static_cast<int>(itemOrRoot(parent).children.size());
}

int PacketTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant PacketTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) {
        return {};
    }
    return QString::fromStdString(itemOrRoot(index).text);
}
