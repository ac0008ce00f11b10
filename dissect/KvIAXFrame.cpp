#include "dissect/KvIAXFrame.h"

#include "common/Log.h"
#include "dissect/RecordObservers.h"

namespace {
constexpr std::string_view className = "KvIAXFrame";
}

KvIAXFrame::KvIAXFrame() {
    kvlog::line("In KvIaxFrame init");
    const auto notApplicable = PropertyValue::literal("N/A");
    properties_.reserve(9);
    properties_.set(PropertyKey::source, PropertyValue::literal(placeholderAddress));
    properties_.set(PropertyKey::destination, PropertyValue::literal(placeholderAddress));
    for (PropertyKey key :
         {PropertyKey::isretry, PropertyKey::type, PropertyKey::subclass, PropertyKey::timestamp,
          PropertyKey::scall, PropertyKey::dcall, PropertyKey::time}) {
        properties_.set(key, notApplicable);
    }
}

KvIAXFrame::~KvIAXFrame() {
    if (observed_) {
        recordObservers::forget(this);
    }
}

void KvIAXFrame::setProperties(const PropertyMap& map) {
    if (&map != &properties_) {
        properties_ = map;
    }
}

void KvIAXFrame::setProperties(PropertyMap&& map) {
    if (&map != &properties_) {
        properties_ = std::move(map);
    }
}

void KvIAXFrame::setIaxInformationElements(const ElementList& list) {
    if (&list != &elements_.elements()) {
        elements_ = PropertyValue::elements(list);
    }
}

void KvIAXFrame::setIaxInformationElements(std::nullptr_t) {
    elements_ = PropertyValue::elements({});
}

void KvIAXFrame::setIaxInformationElements(const PropertyValue& elementsValue) {
    elements_ = elementsValue.isElements() ? elementsValue : PropertyValue::elements({});
}

void KvIAXFrame::addObserver(const void* observer, std::string_view keyPath) {
    observed_ = true;
    recordObservers::add(this, className, observer, keyPath);
}

void KvIAXFrame::removeObserver(const void* observer, std::string_view keyPath) {
    try {
        recordObservers::remove(this, className, observer, keyPath);
    } catch (const ObservationException& caught) {
        kvlog::line("removeObserver: Caught " + caught.name() + ": " + caught.reason());
    }
}
