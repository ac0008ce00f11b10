#pragma once

#include "common/PositionIterator.h"
#include "dissect/FrameDisplay.h"
#include "dissect/KvIAXInformationElement.h"
#include "record/ElementArea.h"
#include "record/FrameFacts.h"
#include "record/PropertyMap.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>
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

    // The views watch records through their own models and never register
    // on a record, so there is no registration to keep, and removing one
    // cannot fail: both do nothing.
    void addObserver(const void* observer, std::string_view keyPath);
    void removeObserver(const void* observer, std::string_view keyPath);

    // The address shown until decoding replaces the map.
    static constexpr const char* placeholderAddress = framedisplay::placeholderAddress;

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
    };
    Detail& detail() const;
    [[nodiscard]] const PropertyMap* keptMap() const {
        return detail_ && detail_->map ? &*detail_->map : nullptr;
    }
    [[nodiscard]] RecordList madeElementRecords() const;

    FrameFacts facts_;
    mutable std::unique_ptr<Detail> detail_;
};

// A capture's frames, numbered from the first ever appended. Held in chunks
// of a fixed size: appending never moves what is already there, so a
// growing capture neither stalls the main thread nor holds two copies of
// its list, and the index of chunks stays small (a deque's map of blocks,
// moved as it doubles, took tens of milliseconds at fifty million frames).
// A reader that only ever needs the newest frames (a dump printing as it
// goes) releases the oldest: positions stay as they were, size() still
// counts them, and only positions from released() on may be read (and
// front(), the first frame, which stays); iteration covers the frames held.
class FrameList {
public:
    using value_type = std::shared_ptr<KvIAXFrame>;

    // Random access over the frames held, by position.
    using iterator = PositionIterator<FrameList, value_type>;
    using const_iterator = PositionIterator<const FrameList, const value_type>;

    FrameList() = default;
    FrameList(std::initializer_list<value_type> frames) {
        for (const value_type& frame : frames) {
            push_back(frame);
        }
    }
    // A list moved from is empty, as a standard container is.
    FrameList(FrameList&& other) noexcept { *this = std::move(other); }
    FrameList& operator=(FrameList&& other) noexcept {
        chunks_ = std::move(other.chunks_);
        size_ = std::exchange(other.size_, 0);
        released_ = std::exchange(other.released_, 0);
        first_ = std::move(other.first_);
        other.chunks_.clear();
        return *this;
    }
    FrameList(const FrameList& other)
        : size_(other.size_), released_(other.released_), first_(other.first_) {
        chunks_.reserve(other.chunks_.size());
        for (const auto& chunk : other.chunks_) {
            auto& copy = chunks_.emplace_back(); // none where the other let go
            if (chunk) {
                copy = std::make_unique<value_type[]>(chunkFrames);
                std::copy_n(chunk.get(), chunkFrames, copy.get());
            }
        }
    }
    FrameList& operator=(const FrameList& other) {
        if (this != &other) {
            *this = FrameList(other);
        }
        return *this;
    }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t released() const { return released_; }
    value_type& operator[](std::size_t position) {
        return chunks_[position / chunkFrames][position % chunkFrames];
    }
    const value_type& operator[](std::size_t position) const {
        return chunks_[position / chunkFrames][position % chunkFrames];
    }
    // The first frame ever appended, and the last.
    [[nodiscard]] const value_type& front() const { return released_ > 0 ? first_ : (*this)[0]; }
    [[nodiscard]] const value_type& back() const { return (*this)[size_ - 1]; }
    iterator begin() { return {this, released_}; }
    iterator end() { return {this, size_}; }
    [[nodiscard]] const_iterator begin() const { return {this, released_}; }
    [[nodiscard]] const_iterator end() const { return {this, size_}; }

    void push_back(value_type frame) {
        if (size_ % chunkFrames == 0) {
            chunks_.push_back(std::make_unique<value_type[]>(chunkFrames));
        }
        chunks_.back()[size_ % chunkFrames] = std::move(frame);
        ++size_;
    }
    // Moves `frames` to the end.
    void append(FrameList&& frames) {
        for (value_type& frame : frames) {
            push_back(std::move(frame));
        }
        frames.clear();
    }
    void clear() {
        chunks_.clear();
        size_ = 0;
        released_ = 0;
        first_.reset();
    }
    // Lets go of the frames before position `count` (those not yet let go);
    // the last frame stays, so that back() is always there.
    void releaseBefore(std::size_t count) {
        const std::size_t until = std::min(count, size_ > 0 ? size_ - 1 : 0);
        if (released_ == 0 && until > 0) {
            first_ = (*this)[0]; // times count from it
        }
        for (; released_ < until; ++released_) {
            (*this)[released_].reset();
            if ((released_ + 1) % chunkFrames == 0) {
                chunks_[released_ / chunkFrames].reset(); // the whole chunk is let go
            }
        }
    }

    friend bool operator==(const FrameList& a, const FrameList& b) {
        return a.released_ == b.released_ && a.size_ == b.size_ &&
               std::equal(a.begin(), a.end(), b.begin());
    }

private:
    // 64 KiB of frame pointers a chunk.
    static constexpr std::size_t chunkFrames = 4096;

    std::vector<std::unique_ptr<value_type[]>> chunks_; // by position / chunkFrames
    std::size_t size_ = 0;
    std::size_t released_ = 0;
    value_type first_; // once released
};

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
