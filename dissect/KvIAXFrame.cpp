#include "dissect/KvIAXFrame.h"

#include "common/Log.h"

namespace {

const ElementArea& noElementArea() {
    static const ElementArea empty;
    return empty;
}

const ElementList& noElements() {
    static const ElementList empty;
    return empty;
}
} // namespace

KvIAXFrame::KvIAXFrame() {
    kvlog::debug("In KvIaxFrame init");
}

KvIAXFrame::KvIAXFrame(const FrameFacts& facts, ElementArea elements) : facts_(facts) {
    kvlog::debug("In KvIaxFrame init");
    if (!elements.empty()) {
        detail().area = std::move(elements);
    }
}

void KvIAXFrame::setDecoded(const FrameFacts& facts, ElementArea elements,
                            const std::optional<Ipv6Addresses>& ipv6,
                            std::vector<TrunkEntry> trunk) {
    facts_ = facts;
    if (detail_) {
        detail_->map.reset();
        detail_->elements.reset();
        detail_->elementsWereSet = false;
    }
    if (detail_ || !elements.empty() || ipv6 || !trunk.empty()) {
        detail().area = std::move(elements);
        detail().ipv6 = ipv6;
        detail().trunk = std::move(trunk);
    }
}

KvIAXFrame::~KvIAXFrame() = default;

KvIAXFrame::Detail& KvIAXFrame::detail() const {
    if (!detail_) {
        detail_ = std::make_unique<Detail>();
    }
    return *detail_;
}

std::uint64_t KvIAXFrame::heldBytes() const {
    if (!detail_) {
        return 0;
    }
    constexpr std::uint64_t allocation = 16; // what malloc keeps beside each block
    const Detail& d = *detail_;
    return sizeof(Detail) + allocation + (d.area.empty() ? 0 : d.area.heldBytes() + allocation) +
           (d.trunk.capacity() > 0 ? d.trunk.capacity() * sizeof(TrunkEntry) + allocation : 0);
}

const ElementArea& KvIAXFrame::elementArea() const {
    return detail_ ? detail_->area : noElementArea();
}

RecordList KvIAXFrame::madeElementRecords() const {
    return framedisplay::elementRecordsOf(facts_, elementArea(), trunkEntries());
}

const std::vector<TrunkEntry>& KvIAXFrame::trunkEntries() const {
    static const std::vector<TrunkEntry> none;
    return detail_ ? detail_->trunk : none;
}

const PropertyMap& KvIAXFrame::properties() const {
    if (const PropertyMap* map = keptMap()) {
        return *map;
    }
    PropertyMap map;
    map.reserve(10);
    for (const PropertyKey key : framedisplay::keysOf(facts_)) {
        if (key == PropertyKey::informationElements) {
            // The same element records as iaxInformationElements() lists,
            // unless another list was set there.
            if (detail().elementsWereSet) {
                map.set(key, PropertyValue::elements(madeElementRecords()));
            } else {
                const ElementList& elements = iaxInformationElements();
                map.set(key, PropertyValue::elements(RecordList(elements.begin(), elements.end())));
            }
        } else if (auto value = framedisplay::valueOf(facts_, key, ipv6Addresses())) {
            map.set(key, std::move(*value));
        }
    }
    return detail().map.emplace(std::move(map));
}

void KvIAXFrame::setProperties(const PropertyMap& map) {
    if (&map != keptMap()) {
        detail().map = map;
    }
}

void KvIAXFrame::setProperties(PropertyMap&& map) {
    if (&map != keptMap()) {
        detail().map = std::move(map);
    }
}

const ElementList& KvIAXFrame::iaxInformationElements() const {
    if (detail_ && detail_->elements) {
        return *detail_->elements;
    }
    if (!framedisplay::hasElementList(facts_)) {
        return noElements();
    }
    ElementList elements;
    for (auto& record : madeElementRecords()) {
        elements.push_back(std::static_pointer_cast<KvIAXInformationElement>(std::move(record)));
    }
    return detail().elements.emplace(std::move(elements));
}

void KvIAXFrame::setIaxInformationElements(const ElementList& list) {
    Detail& kept = detail();
    if (kept.elements && &list == &*kept.elements) {
        return;
    }
    kept.elements = list;
    kept.elementsWereSet = true;
}

std::string KvIAXFrame::text(PropertyKey key) const {
    std::string out;
    appendText(out, key);
    return out;
}

void KvIAXFrame::appendText(std::string& out, PropertyKey key) const {
    if (const PropertyMap* map = keptMap()) {
        if (const PropertyValue* value = map->find(key)) {
            value->appendText(out);
        }
    } else {
        framedisplay::appendValueText(out, facts_, key, ipv6Addresses());
    }
}

void KvIAXFrame::addObserver(const void*, std::string_view) {}

void KvIAXFrame::removeObserver(const void*, std::string_view) {}
