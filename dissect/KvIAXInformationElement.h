#pragma once

#include "record/PropertyRecord.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

// One decoded information element of an IAX control frame: a display name
// (`parameter`) and a printable value (`value`). Each fill operation replaces
// the whole map, so a record always describes exactly one element.
//
// Element names are passed as `const char*` with static storage (the element
// table's entries or literals): records share them instead of copying.
class KvIAXInformationElement final : public PropertyRecord {
public:
    KvIAXInformationElement();
    ~KvIAXInformationElement() override;
    KvIAXInformationElement(const KvIAXInformationElement&) = delete;
    KvIAXInformationElement& operator=(const KvIAXInformationElement&) = delete;

    [[nodiscard]] const PropertyMap& properties() const override { return properties_; }
    // The very map already held changes nothing; otherwise the record keeps a copy.
    void setProperties(const PropertyMap& map);
    void setProperties(std::nullptr_t) { properties_ = PropertyMap{}; }

    // The bytes as text, one character per byte; bytes 0x80 to 0xFF are
    // Latin-1 characters. No terminator is looked for.
    void addStringElement(const char* name, std::span<const std::uint8_t> bytes);
    // Unsigned numbers in network byte order, in decimal.
    void add8BitElement(const char* name, std::span<const std::uint8_t, 1> bytes);
    void add16BitElement(const char* name, std::span<const std::uint8_t, 2> bytes);
    void add32BitElement(const char* name, std::span<const std::uint8_t, 4> bytes);
    // Any other kind of value (addresses, dates, fixed words).
    void setElement(const char* name, PropertyValue value);

    // Nothing registers on a record (see KvIAXFrame): both do nothing.
    void addObserver(const void* observer, std::string_view keyPath);
    void removeObserver(const void* observer, std::string_view keyPath);

private:
    PropertyMap properties_;
};

using ElementList = std::vector<std::shared_ptr<KvIAXInformationElement>>;
