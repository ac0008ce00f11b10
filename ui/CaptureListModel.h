#pragma once

#include "ui/KeyColumns.h"

#include <QAbstractTableModel>

class KvController;
class KvIAXCapture;

// The capture table: the controller's capture list, one row per capture, its
// values by key, and beside the title what the capture read (the file's
// name, or the interface of a live run). Follows every replacement of the
// list and every key change of a capture; the `filter` cell is editable
// through the capture's key setter.
class CaptureListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    CaptureListModel(KvController& controller, KeyColumns columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    [[nodiscard]] KvIAXCapture* captureAt(int row) const;
    [[nodiscard]] int columnOf(const QString& key) const;
    static constexpr int sourceColumn = 1;

private:
    void listReplaced();
    // The key a column shows; empty for the source column.
    [[nodiscard]] QString keyOf(int column) const;

    KvController& controller_;
    KeyColumns columns_;
    QList<QMetaObject::Connection> connections_; // to the captures of the current list
};
