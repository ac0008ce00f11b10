#pragma once

#include "dissect/PropertyMap.h"

#include <memory>
#include <string_view>
#include <vector>

// One captured packet as the views show it: display texts by key (`source`,
// `destination`, `isretry`, `type`, `subclass`, `timestamp`, `scall`,
// `dcall`, `time`) and, for IAX control frames, `informationElements`, the
// same element records that iaxInformationElements() lists.
class KvIAXFrame final {
public:
    // A fresh record: placeholder address texts, "N/A" elsewhere, no elements.
    KvIAXFrame();
    ~KvIAXFrame();
    KvIAXFrame(const KvIAXFrame&) = delete;
    KvIAXFrame& operator=(const KvIAXFrame&) = delete;

    [[nodiscard]] const PropertyMap& properties() const { return properties_; }
    // The very map already held changes nothing; otherwise the record keeps
    // its own copy (or takes over a map the caller gives away).
    void setProperties(const PropertyMap& map);
    void setProperties(PropertyMap&& map);
    void setProperties(std::nullptr_t) { properties_ = PropertyMap{}; }

    [[nodiscard]] const ElementList& iaxInformationElements() const { return elements_.elements(); }
    // Keeps a copy of the element references (not of the elements).
    void setIaxInformationElements(const ElementList& list);
    void setIaxInformationElements(std::nullptr_t);
    // Shares an element list value that is already immutable (a map's
    // `informationElements` entry), which is as good as a copy.
    void setIaxInformationElements(const PropertyValue& elementsValue);

    void addObserver(const void* observer, std::string_view keyPath);
    void removeObserver(const void* observer, std::string_view keyPath);

    // The address shown until decoding replaces the map.
    static constexpr const char* placeholderAddress = "0.0.0.0";

private:
    PropertyMap properties_;
    PropertyValue elements_ = PropertyValue::elements({});
    bool observed_ = false;
};

using FrameList = std::vector<std::shared_ptr<KvIAXFrame>>;
