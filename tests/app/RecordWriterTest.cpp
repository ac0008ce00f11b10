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
    EXPECT_EQ(tsv, "a\"b\\\\c\\td\\ne\\rf\\001g\t\t\tMini Frame\t\t\t\t\t\t\t\t\n");
}

// The line is looked over eight bytes at a time: each character that needs an
// escape, and its harmless neighbours, at every place in a word.
TEST(RecordWriter, FindsEachEscapeWhereverItFallsInTheLine) {
    RecordingLogSink quiet;
    const struct {
        char character;
        std::string written;
    } cases[] = {{'\t', "\\t"},     {'\n', "\\n"},     {'\r', "\\r"},
                 {'\\', "\\\\"},    {'\x08', "\\b"},   {'\x0b', "\\v"},
                 {'\x1b', "\\033"}, {'\x7f', "\\177"}, {'\x0a' + 0x50, "Z"}};
    for (const auto& one : cases) {
        for (std::size_t at = 0; at < 17; ++at) {
            std::string value(17, 'x');
            value[at] = one.character;
            KvIAXFrame frame;
            PropertyMap map;
            map.set(PropertyKey::type, PropertyValue::text(value));
            frame.setProperties(std::move(map));
            std::string tsv;
            recordwriter::appendTsv(tsv, frame);
            const std::string expected = "\t\t\t" + value.substr(0, at) + one.written +
                                         value.substr(at + 1) + "\t\t\t\t\t\t\t\t\n";
            EXPECT_EQ(tsv, expected) << "character " << int(one.character) << " at " << at;
        }
    }
}
