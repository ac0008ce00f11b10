#pragma once

#include "record/PropertyMap.h"

// A record that shows itself as a property map. Lists of records are values
// of their own (a frame's information elements), so that a map can hold them
// without knowing what kind of record they are.
class PropertyRecord {
public:
    virtual ~PropertyRecord() = default;
    [[nodiscard]] virtual const PropertyMap& properties() const = 0;
};
