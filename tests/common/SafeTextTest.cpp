#include "common/SafeText.h"

#include <gtest/gtest.h>

// Each kind of byte or character a printer may meet, alone and in a word,
// with what is printed of it.
TEST(SafeText, ShowsPrintableTextAsItIsAndEveryControlAsAnEscape) {
    const struct {
        std::string text;
        std::string shown;
        std::string tsv; // with backslashes doubled
    } cases[] = {
        {"alice 1000", "alice 1000", "alice 1000"},
        {"Alice M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\x9E",
         "Alice M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\x9E",
         "Alice M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x93\x9E"},
        {"a\\b", "a\\b", "a\\\\b"},
        {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r", "\\a\\b\\t\\n\\v\\f\\r"},
        {"\x1b]0;owned\x07", "\\033]0;owned\\a", "\\033]0;owned\\a"},
        {std::string("\x00\x01\x1f\x7f", 4), "\\000\\001\\037\\177", "\\000\\001\\037\\177"},
        // C1 controls, as UTF-8 and as a byte on its own.
        {"\xC2\x9B"
         "31m\xC2\x80\xC2\x9F",
         "\\u009B31m\\u0080\\u009F", "\\u009B31m\\u0080\\u009F"},
        {"\x9B"
         "31m",
         "\xEF\xBF\xBD"
         "31m",
         "\xEF\xBF\xBD"
         "31m"},
        // Invisible characters that reorder or hide text.
        {"\xE2\x80\xAE"
         "evil\xE2\x80\x8B\xEF\xBB\xBF",
         "\\u202Eevil\\u200B\\uFEFF", "\\u202Eevil\\u200B\\uFEFF"},
        {"\xF3\xA0\x80\x81", "\\u0E0001", "\\u0E0001"},
        // What is not UTF-8: overlong forms (an ESC spelt in two and three
        // bytes), surrogates, past U+10FFFF, cut short.
        {"\xC0\x9B", "\xEF\xBF\xBD\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE0\x80\x9B", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"ab\xE2\x82", "ab\xEF\xBF\xBD\xEF\xBF\xBD", "ab\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& one : cases) {
        EXPECT_EQ(safetext::escaped(one.text), one.shown) << one.text;
        EXPECT_EQ(safetext::escaped(one.text, safetext::Backslash::Doubled), one.tsv) << one.text;
    }
}

// The fast check looks at eight bytes at a time: each byte that may need an
// escape is seen at every place in a word, and printable ASCII is not.
TEST(SafeText, TheFastCheckSeesEachSpecialByteWhereverItFalls) {
    std::string printable;
    for (char c = ' '; c < '\x7f'; ++c) {
        if (c != '\\') {
            printable.push_back(c);
        }
    }
    EXPECT_FALSE(safetext::mayNeedEscapes(printable));
    for (const char special :
         {'\0', '\x01', '\t', '\x1b', '\x1f', '\x7f', '\x80', '\x9b', '\xff', '\\'}) {
        for (std::size_t at = 0; at < 19; ++at) {
            std::string text(19, 'x');
            text[at] = special;
            EXPECT_TRUE(safetext::mayNeedEscapes(text)) << int(special) << " at " << at;
        }
    }
}
