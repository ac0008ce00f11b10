#include "ui/KeyColumns.h"

KeyColumns::KeyColumns(QStringList keys, QStringList titles)
    : keys_(std::move(keys)), titles_(std::move(titles)) {
    for (const QString& key : keys_) {
        propertyKeys_.push_back(PropertyKey::named(key.toStdString()));
    }
}

QVariant KeyColumns::header(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    return section < titles_.size() ? titles_[section] : keys_.value(section);
}

QVariant KeyColumns::text(const PropertyMap& properties, int column) const {
    if (column < 0 || column >= count()) {
        return {};
    }
    const PropertyValue* value = properties.find(propertyKeys_[static_cast<std::size_t>(column)]);
    return value != nullptr ? QString::fromStdString(value->text()) : QString();
}

QVariant KeyColumns::text(const KvIAXFrame& frame, int column) const {
    if (column < 0 || column >= count()) {
        return {};
    }
    return QString::fromStdString(frame.text(propertyKeys_[static_cast<std::size_t>(column)]));
}
