#pragma once

#include "dissect/KvIAXFrame.h"
#include "ui/KeyColumns.h"

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

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    KeyColumns columns_;
    std::shared_ptr<KvIAXFrame> frame_;
};
