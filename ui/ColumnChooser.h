#pragma once

#include "ui/FieldColumnSet.h"

#include <QObject>

class FrameTableModel;
class QMenu;
class UniformRowsView;

// The frame table's columns as the user arranges them, remembered across
// runs: which are shown (View > Columns), the columns of any field added
// (View > Columns > Edit Columns..., or Apply as Column in the packet
// details), their titles and their order. The Parts' columns stay, first,
// unless the user moves them; by default one field column shows each
// frame's time since the first frame beside the Time column.
class ColumnChooser final : public QObject {
    Q_OBJECT
public:
    ColumnChooser(UniformRowsView* table, FrameTableModel* model, QWidget* window);

    // The Columns submenu of `view`: a check per column, and Edit Columns....
    void addViewMenu(QMenu* view);
    // Adds a column of `fields` ("a" or "a or b") titled `title` (the first
    // field's label where empty), before Info; false, with `error`, where
    // one is not a field.
    bool addFieldColumn(const QString& fields, const QString& title, QString& error);
    // The dialog: add, remove, rename, reorder, hide.
    void editColumns();

    // The columns in the order shown, each its logical column; and where
    // they go in the dialog's terms (for the dialog and its test).
    struct Column {
        int logical = -1;       // in the model; -1 for a field column not yet made
        QString title;
        QString fields;         // a field column's; empty for the table's own
        bool hidden = false;
    };
    [[nodiscard]] QList<Column> shownOrder() const;
    // Makes the columns these, in this order; false, with `error`, where a
    // field column names what is not a field (nothing is changed then).
    bool apply(const QList<Column>& columns, QString& error);

private:
    void save() const;
    void fillMenu(QMenu* menu);

    UniformRowsView* table_;
    FrameTableModel* model_;
    QWidget* window_;
};
