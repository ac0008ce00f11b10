#include "ui/UniformRowsView.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Rows that cost nothing: a table longer than any pixel offset can count.
class CountedRows final : public QAbstractTableModel {
public:
    explicit CountedRows(int rows) : rows_(rows) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 3;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        return role == Qt::DisplayRole ? QVariant(index.row() * 10 + index.column()) : QVariant();
    }
    void append(int rows) {
        beginInsertRows({}, rows_, rows_ + rows - 1);
        rows_ += rows;
        endInsertRows();
    }

private:
    int rows_;
};

constexpr int manyRows = 200'000'000; // rows × row height is past INT_MAX

struct Shown {
    CountedRows model{manyRows};
    UniformRowsView view;
    Shown() {
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.resize(400, 300);
        view.show();
        view.setFocus();
    }
    [[nodiscard]] int currentRow() const { return view.currentIndex().row(); }
};

} // namespace

TEST(UniformRowsView, EveryRowIsReachedAndFoundWhereItIsDrawn) {
    Shown shown;
    const int full = shown.view.viewport()->height() / shown.view.rowHeight();
    for (const int row : {0, 1, 12'345'678, manyRows / 2, manyRows - full, manyRows - 1}) {
        SCOPED_TRACE(row);
        const QModelIndex index = shown.model.index(row, 1);
        shown.view.scrollTo(index);
        const QRect cell = shown.view.visualRect(index);
        EXPECT_TRUE(shown.view.viewport()->rect().contains(cell)) << cell.y();
        EXPECT_EQ(shown.view.indexAt(cell.center()), index);
    }
    // At the end the last row is whole and nothing lies below it.
    const QRect last = shown.view.visualRect(shown.model.index(manyRows - 1, 0));
    EXPECT_EQ(shown.view.indexAt({5, last.bottom() + 2}), QModelIndex());
}

TEST(UniformRowsView, KeysMoveTheCurrentRowWithinTheRows) {
    Shown shown;
    const int full = shown.view.viewport()->height() / shown.view.rowHeight();
    shown.view.selectRow(0);
    const struct {
        Qt::Key key;
        int row;
    } steps[] = {
        {Qt::Key_Up, 0},
        {Qt::Key_Down, 1},
        {Qt::Key_PageDown, 1 + full},
        {Qt::Key_End, manyRows - 1},
        {Qt::Key_Down, manyRows - 1},
        {Qt::Key_PageUp, manyRows - 1 - full},
        {Qt::Key_Home, 0},
    };
    for (const auto& step : steps) {
        QTest::keyClick(&shown.view, step.key);
        EXPECT_EQ(shown.currentRow(), step.row) << step.key;
        EXPECT_TRUE(shown.view.viewport()->rect().contains(
            shown.view.visualRect(shown.view.currentIndex())));
    }
}

TEST(UniformRowsView, ClicksAndSelectRowSelectWholeRows) {
    Shown shown;
    shown.view.scrollTo(shown.model.index(1'000'000, 0), QAbstractItemView::PositionAtTop);
    const int height = shown.view.rowHeight();
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, {}, {10, height * 2 + 1});
    EXPECT_EQ(shown.currentRow(), 1'000'002);
    QTest::mouseClick(shown.view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      {10, height * 5 + 1});
    const auto selected = shown.view.selectionModel()->selectedRows();
    EXPECT_EQ(selected.size(), 4);
    EXPECT_TRUE(shown.view.selectionModel()->isRowSelected(1'000'005, {}));

    shown.view.selectRow(7);
    EXPECT_EQ(shown.view.selectionModel()->selectedRows(),
              QModelIndexList{shown.model.index(7, 0)});
    EXPECT_EQ(shown.currentRow(), 7);
}

TEST(UniformRowsView, AppendedRowsExtendTheScrollWithoutMovingTheView) {
    CountedRows model(10);
    UniformRowsView view;
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    view.selectRow(3);
    model.append(1'000'000);
    const int full = view.viewport()->height() / view.rowHeight();
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 1'000'010 - full);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    EXPECT_EQ(view.currentIndex().row(), 3);
    view.scrollToBottom();
    EXPECT_EQ(view.indexAt({5, (full - 1) * view.rowHeight() + 1}).row(), 1'000'009);
}
