#include "ui/RowOrder.h"

#include <algorithm>
#include <numeric>

namespace {

// A value as it sorts: numbers before text, by value; text by its characters.
struct SortKey {
    bool isNumber;
    double number;
    QString text;

    static SortKey of(const QString& text) {
        bool number = false;
        const double value = text.toDouble(&number);
        return {number, number ? value : 0.0, number ? QString() : text};
    }
    bool operator<(const SortKey& other) const {
        if (isNumber != other.isNumber) {
            return isNumber;
        }
        return isNumber ? number < other.number : text < other.text;
    }
};

} // namespace

void RowOrder::sort(int count, int column, Qt::SortOrder order,
                    const std::function<QString(int)>& key) {
    rows_.clear();
    if (column < 0 || count <= 0) {
        return;
    }
    std::vector<SortKey> keys;
    keys.reserve(static_cast<std::size_t>(count));
    for (int item = 0; item < count; ++item) {
        keys.push_back(SortKey::of(key(item)));
    }
    rows_.resize(static_cast<std::size_t>(count));
    std::iota(rows_.begin(), rows_.end(), 0);
    std::stable_sort(rows_.begin(), rows_.end(), [&](int a, int b) {
        return order == Qt::AscendingOrder
                   ? keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)]
                   : keys[static_cast<std::size_t>(b)] < keys[static_cast<std::size_t>(a)];
    });
}

void RowOrder::grow(int count) {
    for (int item = static_cast<int>(rows_.size()); !rows_.empty() && item < count; ++item) {
        rows_.push_back(item);
    }
}

int RowOrder::rowOf(int item) const {
    if (rows_.empty()) {
        return item;
    }
    const auto found = std::find(rows_.begin(), rows_.end(), item);
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}
