#pragma once

#include <QStringList>

// The columns of a table as its interface description declares them: the
// model key each column shows ("columnKeys") and its title ("columnTitles",
// the keys themselves where absent).
struct KeyColumns {
    QStringList keys;
    QStringList titles;

    [[nodiscard]] int count() const { return static_cast<int>(keys.size()); }
    [[nodiscard]] QString title(int column) const {
        return column < titles.size() ? titles[column] : keys.value(column);
    }
};
