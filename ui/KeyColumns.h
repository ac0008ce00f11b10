#pragma once

#include "dissect/KvIAXFrame.h"
#include "record/PropertyMap.h"

#include <QStringList>
#include <QVariant>

#include <vector>

// The columns of a table as its interface description declares them: the
// model key each column shows ("columnKeys") and its title ("columnTitles",
// the keys themselves where absent).
class KeyColumns final {
public:
    KeyColumns(QStringList keys, QStringList titles);

    [[nodiscard]] int count() const { return static_cast<int>(keys_.size()); }
    [[nodiscard]] QString key(int column) const { return keys_.value(column); }
    [[nodiscard]] int indexOf(const QString& key) const {
        return static_cast<int>(keys_.indexOf(key));
    }
    // The column's title for a horizontal header's display role; nothing otherwise.
    [[nodiscard]] QVariant header(int section, Qt::Orientation orientation, int role) const;
    // The display text of a record's value under the column's key.
    [[nodiscard]] QVariant text(const PropertyMap& properties, int column) const;
    // The same for a frame record, made from its facts: nothing is kept.
    [[nodiscard]] QVariant text(const KvIAXFrame& frame, int column) const;

private:
    QStringList keys_;
    QStringList titles_;
    std::vector<PropertyKey> propertyKeys_;
};
