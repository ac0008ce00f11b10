#include "record/PropertyValue.h"


#include <atomic>
#include <charconv>
#include <cstring>
#include <utility>

// Owned texts and element lists live in one reference-counted block each.
// The count is atomic: a worker builds a record and the main thread keeps it.
struct PropertyValue::Shared {
    mutable std::atomic<std::uint32_t> references{1};
    std::string text;
    RecordList elements;
};

namespace {

const RecordList& emptyRecordList() {
    static const RecordList empty;
    return empty;
}

void writeTwoDigits(char* text, unsigned value) {
    text[0] = static_cast<char>('0' + value / 10 % 10);
    text[1] = static_cast<char>('0' + value % 10);
}

} // namespace

void appendUnsigned(std::string& out, std::uint32_t number) {
    char digits[12];
    char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void appendPadded5(std::string& out, std::uint32_t number) {
    char digits[12];
    char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    if (length < 5) {
        out.append(5 - length, '0');
    }
    out.append(digits, length);
}

std::size_t writeDottedDecimal(char (&text)[16], std::uint32_t hostOrderAddress) {
    std::size_t length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned byte = (hostOrderAddress >> shift) & 0xFFu;
        if (byte >= 100) {
            text[length++] = static_cast<char>('0' + byte / 100);
        }
        if (byte >= 10) {
            text[length++] = static_cast<char>('0' + byte / 10 % 10);
        }
        text[length++] = static_cast<char>('0' + byte % 10);
        if (shift != 0) {
            text[length++] = '.';
        }
    }
    return length;
}

void appendDottedDecimal(std::string& out, std::uint32_t hostOrderAddress) {
    char text[16];
    out.append(text, writeDottedDecimal(text, hostOrderAddress));
}

void appendClockTime(std::string& out, std::uint32_t secondsOfDay) {
    const unsigned hour24 = secondsOfDay / 3600 % 24;
    const unsigned hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
    char text[8];
    writeTwoDigits(text, hour12);
    text[2] = ':';
    writeTwoDigits(text + 3, secondsOfDay / 60 % 60);
    text[5] = ':';
    writeTwoDigits(text + 6, secondsOfDay % 60);
    out.append(text, sizeof text);
}

PropertyValue PropertyValue::literal(const char* text) {
    return {Kind::StaticText, 0, text};
}

PropertyValue PropertyValue::text(std::string_view utf8) {
    auto* shared = new Shared;
    shared->text.assign(utf8);
    return {Kind::OwnedText, 0, shared};
}

PropertyValue PropertyValue::address(std::uint32_t hostOrder) {
    return {Kind::Address, hostOrder, nullptr};
}

PropertyValue PropertyValue::padded5(std::uint32_t number) {
    return {Kind::Padded5, number, nullptr};
}

PropertyValue PropertyValue::unsignedNumber(std::uint32_t number) {
    return {Kind::Unsigned, number, nullptr};
}

PropertyValue PropertyValue::clockTime(std::uint32_t secondsOfDay) {
    return {Kind::ClockTime, secondsOfDay, nullptr};
}

PropertyValue PropertyValue::elements(RecordList list) {
    if (list.empty()) {
        return {Kind::Elements, 0, nullptr};
    }
    auto* shared = new Shared;
    shared->elements = std::move(list);
    return {Kind::Elements, 0, shared};
}

PropertyValue::PropertyValue(const PropertyValue& other)
    : pointer_(other.pointer_), number_(other.number_), kind_(other.kind_) {
    retain();
}

PropertyValue::PropertyValue(PropertyValue&& other) noexcept
    : pointer_(std::exchange(other.pointer_, nullptr)), number_(other.number_), kind_(other.kind_) {
}

PropertyValue& PropertyValue::operator=(const PropertyValue& other) {
    if (this != &other) {
        other.retain();
        release();
        pointer_ = other.pointer_;
        number_ = other.number_;
        kind_ = other.kind_;
    }
    return *this;
}

PropertyValue& PropertyValue::operator=(PropertyValue&& other) noexcept {
    if (this != &other) {
        release();
        pointer_ = std::exchange(other.pointer_, nullptr);
        number_ = other.number_;
        kind_ = other.kind_;
    }
    return *this;
}

PropertyValue::~PropertyValue() {
    release();
}

void PropertyValue::retain() const {
    if (isShared() && pointer_ != nullptr) {
        static_cast<const Shared*>(pointer_)->references.fetch_add(1, std::memory_order_relaxed);
    }
}

void PropertyValue::release() {
    if (isShared() && pointer_ != nullptr) {
        const auto* shared = static_cast<const Shared*>(pointer_);
        if (shared->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete shared;
        }
        pointer_ = nullptr;
    }
}

void PropertyValue::appendText(std::string& out) const {
    switch (kind_) {
    case Kind::StaticText:
        if (pointer_ != nullptr) {
            out.append(static_cast<const char*>(pointer_));
        }
        break;
    case Kind::OwnedText:
        if (pointer_ != nullptr) {
            out.append(static_cast<const Shared*>(pointer_)->text);
        }
        break;
    case Kind::Address:
        appendDottedDecimal(out, number_);
        break;
    case Kind::Padded5:
        appendPadded5(out, number_);
        break;
    case Kind::Unsigned:
        appendUnsigned(out, number_);
        break;
    case Kind::ClockTime:
        appendClockTime(out, number_);
        break;
    case Kind::Elements:
        break;
    }
}

std::string PropertyValue::text() const {
    std::string out;
    appendText(out);
    return out;
}

const RecordList& PropertyValue::elements() const {
    if (kind_ == Kind::Elements && pointer_ != nullptr) {
        return static_cast<const Shared*>(pointer_)->elements;
    }
    return emptyRecordList();
}

bool operator==(const PropertyValue& a, const PropertyValue& b) {
    if (a.kind_ == PropertyValue::Kind::Elements || b.kind_ == PropertyValue::Kind::Elements) {
        return a.kind_ == b.kind_ && a.elements() == b.elements();
    }
    return a.text() == b.text();
}
