#include "record/PropertyMap.h"

#include <algorithm>

void PropertyMap::set(PropertyKey key, std::optional<PropertyValue> value) {
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [key](const Entry& entry) { return entry.key() == key; });
    if (!value) {
        if (found != entries_.end()) {
            entries_.erase(found);
        }
        return;
    }
    if (found != entries_.end()) {
        found->value() = std::move(*value);
    } else {
        entries_.push_back(Entry{key, std::move(*value)});
    }
}

const PropertyValue* PropertyMap::find(PropertyKey key) const {
    for (const Entry& entry : entries_) {
        if (entry.key() == key) {
            return &entry.value();
        }
    }
    return nullptr;
}

std::string PropertyMap::text(PropertyKey key) const {
    const PropertyValue* value = find(key);
    return value != nullptr ? value->text() : std::string{};
}

bool operator==(const PropertyMap& a, const PropertyMap& b) {
    if (a.size() != b.size()) {
        return false;
    }
    return std::all_of(a.begin(), a.end(), [&b](const PropertyMap::Entry& entry) {
        const PropertyValue* other = b.find(entry.key());
        return other != nullptr && *other == entry.value();
    });
}
