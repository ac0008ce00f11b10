#pragma once

#include "dissect/KvIAXFrame.h"
#include "ui/KeyColumns.h"
#include "ui/RowOrder.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

// The element table: the information elements of one frame record, by the
// element keys (`parameter`, `value`).
class ElementTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ElementTableModel(KeyColumns columns, QObject* parent = nullptr);

    void setFrame(std::shared_ptr<KvIAXFrame> frame);
    // The element a row shows: its index in the frame's list.
    [[nodiscard]] int elementAt(int row) const { return order_.itemAt(row); }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // An element's text in the sort column.
    [[nodiscard]] QString textOf(int item) const;

    KeyColumns columns_;
    std::shared_ptr<KvIAXFrame> frame_;
    RowOrder order_;
    int sortColumn_ = -1; // kept from frame to frame
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
