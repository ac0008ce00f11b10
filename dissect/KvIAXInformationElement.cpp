#include "dissect/KvIAXInformationElement.h"

#include "common/Log.h"
#include "dissect/FrameDisplay.h"
#include "record/RecordObservers.h"

namespace {
constexpr std::string_view className = "KvIAXInformationElement";
} // namespace

KvIAXInformationElement::KvIAXInformationElement() {
    properties_.reserve(2);
    properties_.set(PropertyKey::parameter, PropertyValue::literal("Caller"));
    properties_.set(PropertyKey::value, PropertyValue::literal("vorth"));
}

KvIAXInformationElement::~KvIAXInformationElement() {
    if (observed_) {
        recordObservers::forget(this);
    }
}

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

void KvIAXInformationElement::addObserver(const void* observer, std::string_view keyPath) {
    observed_ = true;
    recordObservers::add(this, className, observer, keyPath);
}

void KvIAXInformationElement::removeObserver(const void* observer, std::string_view keyPath) {
    try {
        recordObservers::remove(this, className, observer, keyPath);
    } catch (const ObservationException& caught) {
        kvlog::line("Information Element removeObserver: Caught " + caught.name() + ": " +
                    caught.reason());
    }
}
