#pragma once

#include "app/CallWriter.h"
#include "ui/RowOrder.h"

#include <QAbstractTableModel>
#include <QPointer>

class KvIAXCapture;

// The calls or the registrations of a capture as a table, read from its
// tracker when a row is shown: a million calls cost no texts until they
// are looked at. refresh() inserts the rows that are new and announces the
// others as changed, so that the selection stays where it is while a load
// or a live capture adds to the list.
class TrackerTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Rows { Calls, Registrations };
    TrackerTableModel(Rows rows, QObject* parent = nullptr);

    void setCapture(const KvIAXCapture* capture);
    // Takes in what the tracker found since the last refresh.
    void refresh();

    // The row's item: its index in the tracker's list.
    [[nodiscard]] int itemAt(int row) const { return order_.itemAt(row); }
    [[nodiscard]] int rowOf(int item) const { return order_.rowOf(item); }
    // By a column's values, numbers as numbers; column -1: as found.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    [[nodiscard]] int trackedRows() const;
    [[nodiscard]] const callwriter::Columns& columnsOf(int row) const;
    [[nodiscard]] callwriter::Columns columnsOfItem(int item, bool withVerdict) const;

    Rows rows_;
    QStringList titles_;
    QPointer<const KvIAXCapture> capture_;
    int shownRows_ = 0;
    // The texts of the row drawn last: a row is drawn a cell at a time.
    mutable int cachedRow_ = -1;
    mutable callwriter::Columns cached_;
    RowOrder order_;
};
