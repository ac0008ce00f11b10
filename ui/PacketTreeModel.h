#pragma once

#include "fields/PacketTree.h"

#include <QAbstractItemModel>

#include <unordered_map>

// The packet details of one frame as a tree for a tree view: a row per line,
// its children under it. Holds the tree it is given.
class PacketTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit PacketTreeModel(QObject* parent = nullptr);

    void setTree(fields::TreeItem root);
    [[nodiscard]] const fields::TreeItem* itemAt(const QModelIndex& index) const;
    // A stable name of a line for remembering whether it is expanded: its
    // field's name, or a group's kind ("Information Element: Username").
    [[nodiscard]] QString pathOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void link(const fields::TreeItem& item);
    [[nodiscard]] const fields::TreeItem& itemOrRoot(const QModelIndex& index) const;

    fields::TreeItem root_;
    // Each line's parent, and its row under it.
    std::unordered_map<const fields::TreeItem*, std::pair<const fields::TreeItem*, int>> parents_;
};
