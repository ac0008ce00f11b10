#include "dissect/KvIAXInformationElement.h"

#include "dissect/Latin1Text.h"

KvIAXInformationElement::KvIAXInformationElement() {
    properties_.reserve(2);
    properties_.set(PropertyKey::parameter, PropertyValue::literal("Caller"));
    properties_.set(PropertyKey::value, PropertyValue::literal("vorth"));
}

KvIAXInformationElement::~KvIAXInformationElement() = default;

void KvIAXInformationElement::setProperties(const PropertyMap& map) {
    if (&map != &properties_) {
        properties_ = map;
    }
}

void KvIAXInformationElement::setElement(const char* name, PropertyValue value) {
    PropertyMap map;
    map.reserve(2);
    map.set(PropertyKey::parameter, PropertyValue::literal(name));
    map.set(PropertyKey::value, std::move(value));
    properties_ = std::move(map);
}

void KvIAXInformationElement::addStringElement(const char* name,
                                               std::span<const std::uint8_t> bytes) {
    setElement(name, PropertyValue::text(framedisplay::latin1ToUtf8(bytes)));
}

void KvIAXInformationElement::add8BitElement(const char* name,
                                             std::span<const std::uint8_t, 1> bytes) {
    setElement(name, PropertyValue::unsignedNumber(bytes[0]));
}

void KvIAXInformationElement::add16BitElement(const char* name,
                                              std::span<const std::uint8_t, 2> bytes) {
    setElement(name,
               PropertyValue::unsignedNumber(static_cast<std::uint32_t>(bytes[0]) << 8 | bytes[1]));
}

void KvIAXInformationElement::add32BitElement(const char* name,
                                              std::span<const std::uint8_t, 4> bytes) {
    setElement(name,
               PropertyValue::unsignedNumber(static_cast<std::uint32_t>(bytes[0]) << 24 |
                                             static_cast<std::uint32_t>(bytes[1]) << 16 |
                                             static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3]));
}

void KvIAXInformationElement::addObserver(const void*, std::string_view) {}

void KvIAXInformationElement::removeObserver(const void*, std::string_view) {}
