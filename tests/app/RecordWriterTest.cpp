#include "app/RecordWriter.h"

#include "tests/support/RecordingLogSink.h"

#include <gtest/gtest.h>

TEST(RecordWriter, EscapesWhatWouldBreakALineOrAField) {
    RecordingLogSink quiet;
    KvIAXFrame frame;
    PropertyMap map;
    map.set(PropertyKey::source, PropertyValue::text(std::string("a\"b\\c\td\ne\rf\x01g", 13)));
    map.set(PropertyKey::type, PropertyValue::literal("Mini Frame"));
    frame.setProperties(std::move(map));

    std::string json;
    recordwriter::appendJson(json, frame);
    EXPECT_EQ(json, "{\"source\":\"a\\\"b\\\\c\\td\\ne\\rf\\u0001g\",\"type\":\"Mini Frame\"}\n");

    std::string tsv;
    recordwriter::appendTsv(tsv, frame);
    // Twelve columns: the keys the frame lacks are empty fields.
    EXPECT_EQ(tsv, "a\"b\\\\c\\td\\ne\\rf\x01g\t\t\tMini Frame\t\t\t\t\t\t\t\t\n");
}
