#pragma once

#include <QAbstractItemView>

class QHeaderView;

// A table whose rows all have one height, placed by arithmetic: the frames
// and the problems, tables of millions of rows. Qt's own table keeps a
// section per row in its vertical header and works out every row's position
// again after each insertion or reset: at tens of millions of rows that
// alone holds the window for tens of milliseconds each time. Here appending
// or resetting rows costs the same at any size. The vertical scroll bar
// counts rows, so no pixel offset overflows however long the table.
//
// Columns keep Qt's header (widths, order, hiding, sort clicks, saved state);
// the selection, the current row, the keys and the mouse are the item
// view's own.
class UniformRowsView final : public QAbstractItemView {
    Q_OBJECT

public:
    explicit UniformRowsView(QWidget* parent = nullptr);
    ~UniformRowsView() override;

    void setModel(QAbstractItemModel* model) override;
    [[nodiscard]] QHeaderView* horizontalHeader() const { return header_; }
    void setColumnWidth(int column, int width);
    [[nodiscard]] int columnWidth(int column) const;
    void setRowHeight(int height);
    [[nodiscard]] int rowHeight() const { return rowHeight_; }
    // The row under a viewport y, or -1 past the rows.
    [[nodiscard]] int rowAt(int y) const;
    // Makes the row current and the only one selected.
    void selectRow(int row);

    [[nodiscard]] QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    [[nodiscard]] QModelIndex indexAt(const QPoint& point) const override;
    // The widest cell of the rows shown and of the first rows (the header's
    // resize precision): never a pass over millions of rows.
    [[nodiscard]] int sizeHintForColumn(int column) const override;
    [[nodiscard]] int sizeHintForRow(int row) const override;

protected:
    // Only what is in sight of a changed range is redrawn (changedInSight).
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    [[nodiscard]] int horizontalOffset() const override;
    [[nodiscard]] int verticalOffset() const override;
    [[nodiscard]] bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    [[nodiscard]] QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int first, int last) override;

private:
    [[nodiscard]] int rowCount() const;
    [[nodiscard]] int firstRow() const;
    [[nodiscard]] int fullRowsShown() const;
    // The viewport y of a row's top, kept within a few rows of the viewport.
    [[nodiscard]] int rowTop(int row) const;
    // The row at a viewport y, above or below the rows shown, within the rows.
    [[nodiscard]] int nearestRowAt(int y) const;
    [[nodiscard]] int visibleColumnNear(int column, int step) const;

    QHeaderView* header_;
    int rowHeight_;
    bool layingOut_ = false;
};
