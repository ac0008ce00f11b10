#pragma once

#include "dissect/KvIAXInformationElement.h"
#include "record/ElementArea.h"
#include "record/FrameFacts.h"
#include "record/PropertyMap.h"

#include <deque>
#include <initializer_list>
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

// A capture's frames, numbered from the first ever appended. Held in a
// deque: appending never moves what is already there, so a growing capture
// neither stalls the main thread nor holds two copies of its list. A reader
// that only ever needs the newest frames (a dump printing as it goes)
// releases the oldest: positions stay as they were, size() still counts
// them, and only positions from released() on may be read (and front(), the
// first frame, which stays); iteration covers the frames held.
class FrameList {
public:
    using value_type = std::shared_ptr<KvIAXFrame>;
    using Held = std::deque<value_type>;
    using iterator = Held::iterator;
    using const_iterator = Held::const_iterator;

    FrameList() = default;
    FrameList(std::initializer_list<value_type> frames) : held_(frames) {}

    [[nodiscard]] std::size_t size() const { return released_ + held_.size(); }
    [[nodiscard]] bool empty() const { return size() == 0; }
    [[nodiscard]] std::size_t released() const { return released_; }
    value_type& operator[](std::size_t position) { return held_[position - released_]; }
    const value_type& operator[](std::size_t position) const { return held_[position - released_]; }
    // The first frame ever appended, and the last.
    [[nodiscard]] const value_type& front() const { return released_ > 0 ? first_ : held_.front(); }
    [[nodiscard]] const value_type& back() const { return held_.back(); }
    iterator begin() { return held_.begin(); }
    iterator end() { return held_.end(); }
    [[nodiscard]] const_iterator begin() const { return held_.begin(); }
    [[nodiscard]] const_iterator end() const { return held_.end(); }

    void push_back(value_type frame) { held_.push_back(std::move(frame)); }
    // Moves `frames` to the end.
    void append(FrameList&& frames) {
        held_.insert(held_.end(), std::make_move_iterator(frames.held_.begin()),
                     std::make_move_iterator(frames.held_.end()));
        frames.clear();
    }
    void clear() {
        held_.clear();
        released_ = 0;
        first_.reset();
    }
    // Lets go of the frames before position `count` (those not yet let go);
    // the last frame stays, so that back() is always there.
    void releaseBefore(std::size_t count) {
        while (released_ < count && held_.size() > 1) {
            if (released_ == 0) {
                first_ = held_.front(); // times count from it
            }
            held_.pop_front();
            ++released_;
        }
    }

    friend bool operator==(const FrameList& a, const FrameList& b) {
        return a.released_ == b.released_ && a.held_ == b.held_;
    }

private:
    Held held_;
    std::size_t released_ = 0;
    value_type first_; // once released
};

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
