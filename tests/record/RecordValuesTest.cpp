#include "record/ElementArea.h"
#include "record/PropertyMap.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(PropertyMap, SettingNoValueRemovesAndOrderIsKept) {
    PropertyMap map;
    map.set(PropertyKey::source, PropertyValue::address(0xC0A80102));
    map.set(PropertyKey::named("custom key"), PropertyValue::text("x"));
    map.set(PropertyKey::timestamp, PropertyValue::padded5(123456));
    map.set(PropertyKey::source, PropertyValue::address(0x0A000001));
    EXPECT_EQ(map.text(PropertyKey::source), "10.0.0.1");
    EXPECT_EQ(map.text(PropertyKey::timestamp), "123456"); // five digits is a minimum
    EXPECT_EQ(map.text(PropertyKey::named("custom key")), "x");

    map.set(PropertyKey::named("custom key"), std::nullopt);
    std::vector<std::string_view> keys;
    for (const auto& entry : map) {
        keys.push_back(entry.key().name());
    }
    EXPECT_EQ(keys, (std::vector<std::string_view>{"source", "timestamp"}));
    EXPECT_EQ(PropertyKey::named("custom key"), PropertyKey::named("custom key"));
}

TEST(PropertyValue, ClockTimeUsesTheTwelveHourClockWithoutMarker) {
    EXPECT_EQ(PropertyValue::clockTime(13 * 3600 + 5 * 60 + 9).text(), "01:05:09");
    EXPECT_EQ(PropertyValue::clockTime(0).text(), "12:00:00");
    EXPECT_EQ(PropertyValue::clockTime(12 * 3600).text(), "12:00:00");
    EXPECT_EQ(PropertyValue::clockTime(23 * 3600 + 59 * 60 + 59).text(), "11:59:59");
    EXPECT_EQ(PropertyValue::padded5(7).text(), "00007");
    EXPECT_EQ(PropertyValue::unsignedNumber(7).text(), "7");
}

TEST(ElementArea, KeepsBytesDeclaredLengthAndElementsInOneBlock) {
    const std::uint8_t bytes[] = {6, 2, 'h', 'i', 11, 2, 0};
    const ElementFact facts[] = {{0, 6, 2, true, true}, {4, 11, 2, true, true}};
    const ElementArea area(bytes, 9, facts);
    EXPECT_EQ(std::vector<std::uint8_t>(area.bytes().begin(), area.bytes().end()),
              std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)));
    EXPECT_EQ(area.declaredLength(), 9u); // two bytes were not captured
    ASSERT_EQ(area.elements().size(), 2u);
    EXPECT_EQ(area.elements()[1].offset, 4);
    EXPECT_EQ(area.elements()[1].identifier, 11);

    const ElementArea none;
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.bytes().empty());
    EXPECT_TRUE(none.elements().empty());
    EXPECT_FALSE(none.value(6));
}

// A value is read only where all its bytes were captured: the element cut
// by the capture (11) and one whose length was lost (12) have none.
TEST(ElementArea, ValuesAreTheFirstWholeElementOfTheirId) {
    const std::uint8_t bytes[] = {6, 2, 'h', 'i', 6, 1, 'x', 0, 0, 11, 2, 0};
    const ElementFact facts[] = {{0, 6, 2, true, true},
                                 {4, 6, 1, true, true},
                                 {7, 0, 0, true, true},
                                 {9, 11, 2, true, true},
                                 {11, 12, 0, true, false}};
    const ElementArea area(bytes, 14, facts);
    const struct {
        std::uint8_t id;
        std::optional<std::string> value;
    } cases[] = {{6, "hi"}, {0, ""}, {11, std::nullopt}, {12, std::nullopt}, {99, std::nullopt}};
    for (const auto& c : cases) {
        const auto value = area.value(c.id);
        ASSERT_EQ(value.has_value(), c.value.has_value()) << int(c.id);
        if (value) {
            EXPECT_EQ(std::string(value->begin(), value->end()), *c.value) << int(c.id);
        }
    }
}
