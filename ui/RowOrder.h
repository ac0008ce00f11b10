#pragma once

#include <QVariant>

#include <functional>
#include <vector>

// The order a table's rows show its items in: as they come, or sorted by one
// column's values (numbers as numbers, other text as text), equal values
// keeping their order. For tables of thousands of rows; the frame table
// sorts a million away from the main thread instead (FrameSortRun).
class RowOrder final {
public:
    // Items [0, count) by key(item), or as they come for column < 0.
    void sort(int count, int column, Qt::SortOrder order, const std::function<QString(int)>& key);
    void clear() { rows_.clear(); }
    // Items appended since: shown after the others, as they come.
    void grow(int count);
    [[nodiscard]] int itemAt(int row) const {
        return rows_.empty() ? row : rows_[static_cast<std::size_t>(row)];
    }
    [[nodiscard]] int rowOf(int item) const;

private:
    std::vector<int> rows_; // empty: as they come
};
