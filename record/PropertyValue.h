#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class PropertyRecord;
using RecordList = std::vector<std::shared_ptr<PropertyRecord>>;

// One value of a property map: a display text or a list of records (a
// frame's `informationElements`).
//
// Numbers, addresses and clock times are kept as numbers and turned into text
// when a view or a writer asks, which keeps a decoded frame small (a million of
// them must fit comfortably in memory). Owned texts and element lists are
// immutable once made and shared between copies, so copying a value is cheap
// and still behaves as a copy.
class PropertyValue {
public:
    enum class Kind : std::uint8_t {
        StaticText, // a text with static storage: table names and fixed words
        OwnedText,  // any other text (UTF-8)
        Address,    // IPv4 address, dotted decimal
        Padded5,    // "%05u"
        Unsigned,   // "%u"
        ClockTime,  // seconds since local midnight, "%I:%M:%S"
        Elements,   // list of records
    };

    // `text` must outlive every copy of the value: a literal or a table entry.
    static PropertyValue literal(const char* text);
    static PropertyValue text(std::string_view utf8);
    static PropertyValue address(std::uint32_t hostOrder);
    static PropertyValue padded5(std::uint32_t number);
    static PropertyValue unsignedNumber(std::uint32_t number);
    static PropertyValue clockTime(std::uint32_t secondsOfDay);
    static PropertyValue elements(RecordList list);

    PropertyValue(const PropertyValue& other);
    PropertyValue(PropertyValue&& other) noexcept;
    PropertyValue& operator=(const PropertyValue& other);
    PropertyValue& operator=(PropertyValue&& other) noexcept;
    ~PropertyValue();

    [[nodiscard]] Kind kind() const { return kind_; }
    [[nodiscard]] bool isElements() const { return kind_ == Kind::Elements; }

    // The display text; for an element list, an empty text.
    [[nodiscard]] std::string text() const;
    void appendText(std::string& out) const;

    // The records of an Elements value; an empty list otherwise.
    [[nodiscard]] const RecordList& elements() const;

    // Same kind and same content (texts by their characters, lists by the
    // identity of their records).
    friend bool operator==(const PropertyValue& a, const PropertyValue& b);

private:
    struct Shared;
    PropertyValue(Kind kind, std::uint32_t number, const void* pointer)
        : pointer_(pointer), number_(number), kind_(kind) {}
    [[nodiscard]] bool isShared() const {
        return kind_ == Kind::OwnedText || kind_ == Kind::Elements;
    }
    void retain() const;
    void release();

    const void* pointer_;
    std::uint32_t number_;
    Kind kind_;
};

// The texts that turn numbers into display values, shared with writers that
// format records themselves.
void appendDottedDecimal(std::string& out, std::uint32_t hostOrderAddress);
// The same text, written at the start of `text` (at most 15 characters);
// returns its length.
std::size_t writeDottedDecimal(char (&text)[16], std::uint32_t hostOrderAddress);
void appendPadded5(std::string& out, std::uint32_t number);
void appendUnsigned(std::string& out, std::uint32_t number);
void appendClockTime(std::string& out, std::uint32_t secondsOfDay);
