#pragma once

#include "dissect/KvIAXInformationElement.h"
#include "record/ElementArea.h"
#include "record/FrameFacts.h"
#include "record/PropertyMap.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One captured packet: the facts decoding found in it (facts()), and the
// display texts the views show by key (`source`, `destination`, `isretry`,
// `type`, `subclass`, `timestamp`, `scall`, `dcall`, `time` and, for IAX
// control frames, `informationElements`), made from those facts when asked.
//
// A capture holds a record for every packet, so a record keeps its facts and
// nothing else: text(), appendText() and forEachProperty() make texts on each
// call. properties() and iaxInformationElements() make them once and keep
// them, for the few records that are looked at closely; call those on the
// thread that owns the record (the main thread once it was delivered).
class KvIAXFrame final {
public:
    // A fresh record: placeholder address texts, "N/A" elsewhere, no elements.
    KvIAXFrame();
    // A decoded record.
    KvIAXFrame(const FrameFacts& facts, ElementArea elements);
    ~KvIAXFrame();
    KvIAXFrame(const KvIAXFrame&) = delete;
    KvIAXFrame& operator=(const KvIAXFrame&) = delete;

    [[nodiscard]] const FrameFacts& facts() const { return facts_; }
    // Decoding: the packet's facts replace the record's, and what was made
    // or set from the earlier ones is dropped.
    void setDecoded(const FrameFacts& facts, ElementArea elements,
                    const std::optional<Ipv6Addresses>& ipv6 = std::nullopt,
                    std::vector<TrunkEntry> trunk = {});
    // The entries of a trunk frame; empty otherwise.
    [[nodiscard]] const std::vector<TrunkEntry>& trunkEntries() const;
    // The IPv6 addresses of an IPv6 packet; nullptr otherwise.
    [[nodiscard]] const Ipv6Addresses* ipv6Addresses() const {
        return detail_ && detail_->ipv6 ? &*detail_->ipv6 : nullptr;
    }
    // The information elements of an IAX control frame; empty otherwise.
    [[nodiscard]] const ElementArea& elementArea() const;
    // What the record holds beside its own size (elements, addresses, trunk
    // entries), allocations' own words included: for the memory budget.
    [[nodiscard]] std::uint64_t heldBytes() const;

    // The display map, made from the facts at the first call unless one was set.
    [[nodiscard]] const PropertyMap& properties() const;
    // The very map already held changes nothing; otherwise the record keeps
    // its own copy (or takes over a map the caller gives away), which from
    // then on is what the record shows.
    void setProperties(const PropertyMap& map);
    void setProperties(PropertyMap&& map);
    void setProperties(std::nullptr_t) { setProperties(PropertyMap{}); }

    [[nodiscard]] const ElementList& iaxInformationElements() const;
    // Keeps a copy of the element references (not of the elements).
    void setIaxInformationElements(const ElementList& list);
    void setIaxInformationElements(std::nullptr_t) { setIaxInformationElements(ElementList{}); }

    // The display text under `key`; empty where the record shows no such key.
    [[nodiscard]] std::string text(PropertyKey key) const;
    void appendText(std::string& out, PropertyKey key) const;
    // Calls `visit(key, value)` for every shown value, in map order, without
    // keeping anything.
    template <class Visit> void forEachProperty(Visit&& visit) const;

    void addObserver(const void* observer, std::string_view keyPath);
    void removeObserver(const void* observer, std::string_view keyPath);

    // The address shown until decoding replaces the map.
    static constexpr const char* placeholderAddress = "0.0.0.0";

private:
    // What only some records need: the element area, the maps made or set,
    // the observation flag.
    struct Detail {
        ElementArea area;
        std::optional<Ipv6Addresses> ipv6;
        std::vector<TrunkEntry> trunk;
        std::optional<PropertyMap> map;
        std::optional<ElementList> elements;
        bool elementsWereSet = false;
        bool observed = false;
    };
    Detail& detail() const;
    [[nodiscard]] const PropertyMap* keptMap() const {
        return detail_ && detail_->map ? &*detail_->map : nullptr;
    }
    [[nodiscard]] RecordList madeElementRecords() const;

    FrameFacts facts_;
    mutable std::unique_ptr<Detail> detail_;
};

// A deque: appending never moves what is already there, so a growing capture
// neither stalls the main thread nor holds two copies of its list.
using FrameList = std::deque<std::shared_ptr<KvIAXFrame>>;

#include "dissect/FrameDisplay.h"

template <class Visit> void KvIAXFrame::forEachProperty(Visit&& visit) const {
    if (const PropertyMap* map = keptMap()) {
        for (const auto& entry : *map) {
            visit(entry.key(), entry.value());
        }
        return;
    }
    for (const PropertyKey key : framedisplay::keysOf(facts_)) {
        if (key == PropertyKey::informationElements) {
            visit(key, PropertyValue::elements(madeElementRecords()));
        } else if (const auto value = framedisplay::valueOf(facts_, key, ipv6Addresses())) {
            visit(key, *value);
        }
    }
}
