#pragma once

#include "record/PropertyKey.h"
#include "record/PropertyValue.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The property map of a record: keys to display values, in the order the keys
// were first set (writers print them in that order). A record has about ten
// keys, so a flat list beats a tree or a hash table in both time and memory.
class PropertyMap final {
public:
    // The key sits in the tail padding of the value, so that an entry takes
    // 16 bytes instead of 24: a decoded frame has ten of them.
    class Entry : public PropertyValue {
    public:
        Entry(PropertyKey key, PropertyValue value) : PropertyValue(std::move(value)), key_(key) {}
        [[nodiscard]] PropertyKey key() const { return key_; }
        [[nodiscard]] const PropertyValue& value() const { return *this; }
        PropertyValue& value() { return *this; }

    private:
        PropertyKey key_;
    };

    PropertyMap() = default;

    void reserve(std::size_t count) { entries_.reserve(count); }

    // Setting a key to no value removes it.
    void set(PropertyKey key, std::optional<PropertyValue> value);
    void remove(PropertyKey key) { set(key, std::nullopt); }

    [[nodiscard]] const PropertyValue* find(PropertyKey key) const;
    [[nodiscard]] bool contains(PropertyKey key) const { return find(key) != nullptr; }
    // The key's display text; empty when the key is absent.
    [[nodiscard]] std::string text(PropertyKey key) const;

    [[nodiscard]] std::size_t size() const { return entries_.size(); }
    [[nodiscard]] bool empty() const { return entries_.empty(); }
    [[nodiscard]] auto begin() const { return entries_.begin(); }
    [[nodiscard]] auto end() const { return entries_.end(); }

    // Same keys with equal values, in any order.
    friend bool operator==(const PropertyMap& a, const PropertyMap& b);

private:
    std::vector<Entry> entries_;
};

static_assert(sizeof(PropertyMap::Entry) == sizeof(PropertyValue));
