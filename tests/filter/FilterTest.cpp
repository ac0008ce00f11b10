// Display filters over the bundled sample's frames (a registration and one
// call: 38 frames, 20 of them mini frames), construct by construct, and the
// errors they give for what cannot be read.
#include "calls/CallTracker.h"
#include "dissect/IaxDissector.h"
#include "filter/DisplayFilter.h"
#include "filter/FilterFromFrame.h"
#include "calls/FrameCalls.h"
#include "samples/IaxPacketBuilder.h"
#include "samples/Scenarios.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

struct Sample {
    Sample() {
        const IaxDissector dissector(dump);
        scenarios::sampleCall([&](const iaxgen::Bytes& packet, std::int64_t us) {
            auto frame = std::make_shared<KvIAXFrame>();
            dissector.decodeInto({.bytes = packet,
                                  .seconds = us / 1'000'000,
                                  .nanoseconds = static_cast<std::uint32_t>(us % 1'000'000) * 1000},
                                 *frame);
            frames.push_back(frame);
            tracker.add(*frame, static_cast<std::uint32_t>(frames.size()));
        });
        calls.update(tracker);
    }
    // How many frames the expression selects; -1 where it does not compile.
    int count(const std::string& expression) const {
        std::string error;
        const auto filter = filter::DisplayFilter::compile(expression, error);
        if (!filter) {
            return -1;
        }
        filter::FieldContext context{.firstFrame = &frames.front()->facts(), .calls = &calls};
        int selected = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            context.previousFrame = i > 0 ? &frames[i - 1]->facts() : nullptr;
            const auto verdict =
                filter->test(*frames[i], static_cast<std::uint32_t>(i + 1), context, error);
            if (verdict == filter::Verdict::Failed) {
                return -2;
            }
            selected += verdict == filter::Verdict::Match ? 1 : 0;
        }
        return selected;
    }
    std::ostringstream dump;
    FrameList frames;
    calls::CallTracker tracker;
    calls::FrameCalls calls;
};

const Sample& sample() {
    static const Sample s;
    return s;
}

struct Case {
    const char* expression;
    int selected;
};

void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(sample().count(c.expression), c.selected) << c.expression;
    }
}

TEST(DisplayFilter, ComparisonsInEitherSpelling) {
    check({{"iax2.packet_type == 0", 20},
           {"iax2.packet_type eq 0", 20},
           {"iax2.packet_type != 0", 18},
           {"iax2.packet_type ne 0", 18},
           {"iax2.timestamp < 4", 2},
           {"iax2.timestamp lt 4", 2},
           {"iax2.timestamp <= 4", 3},
           {"iax2.timestamp le 4", 3},
           {"iax2.timestamp > 2200", 10},
           {"iax2.timestamp gt 2200", 10},
           {"iax2.timestamp >= 2200", 12},
           {"iax2.timestamp ge 2200", 12}});
}

TEST(DisplayFilter, LogicWithAndOverOrAndParentheses) {
    check({{"iax2.src_call == 1 and iax2.dst_call == 100", 2},
           {"iax2.src_call == 1 && iax2.dst_call == 100", 2},
           {"iax2.src_call == 100 or iax2.src_call == 200", 18},
           {"iax2.src_call == 100 || iax2.src_call == 200", 18},
           {"not iax2.packet_type == 0", 18},
           {"!iax2.packet_type == 0", 18},
           {"! ! iax2.packet_type == 0", 20},
           // and binds tighter than or, on either side of it
           {"iax2.src_call == 100 or iax2.src_call == 2 and iax2.type == 2", 3},
           {"iax2.src_call == 999 and iax2.dst_call == 1 or iax2.packet_type == 0", 20},
           {"(iax2.src_call == 100 or iax2.src_call == 2) and iax2.type == 2", 1},
           // not takes the test after it, not the and-expression
           {"not iax2.packet_type == 0 and iax2.src_call == 2", 7},
           {"not (iax2.packet_type == 0 and iax2.src_call == 2)", 28}});
}

TEST(DisplayFilter, ValuesInEveryNotation) {
    check({{"iax2.dst_call == 200", 6},
           {"iax2.dst_call == 0xc8", 6},
           {"iax2.dst_call == 0310", 6}, // octal, as C and Wireshark read it
           {"ip.src == 192.0.2.10", 20},
           {"ip.addr == 192.0.2.0/24", 38},
           {"ip.addr == 10.0.0.0/8", 0},
           {"ip.src == 0.0.0.0/0", 38},
           {"frame.time_relative < 0.1", 5},
           {"iax2.iax.username == \"alice\"", 5},
           {"iax2.iax.username == alice", 5},
           {"iax2.iax.subclass == NEW", 1},
           {"iax2.iax.subclass == \"ack\"", 7},
           {"iax2.control.subclass == Answer", 1},
           {"iax2.retransmission == false", 18},
           {"iax2.retransmission == True", 0}});
}

TEST(DisplayFilter, FieldsWithSeveralValuesAndFieldsThatAreAbsent) {
    // ip.addr is source or destination; != means that none of them is it,
    // and a frame without the field is never selected by a comparison.
    check({{"ip.addr == 198.51.100.20", 38},
           {"ip.addr != 198.51.100.20", 0},
           {"ip.src != 198.51.100.20", 20},
           {"udp.port == 4569", 38},
           {"iax2.dst_call != 1", 16},
           {"iax2.dst_call", 18},
           {"ipv6.addr", 0},
           {"!ipv6.addr", 38}});
}

TEST(DisplayFilter, SetsRangesTextAndRegularExpressions) {
    check({{"iax2.src_call in {1, 2}", 20},
           {"iax2.src_call in {1 2}", 20},
           {"iax2.src_call in {1..100}", 22},
           {"iax2.src_call in { 1 .. 2 , 200 }", 36},
           // A prefix member holds the addresses of its upper half too.
           {"ip.src in {192.0.0.0/22}", 20},
           {"ip.src in {198.51.96.0/21}", 18},
           {"ip.src in {128.0.0.0/1}", 38},
           {"iax2.iax.calling_name contains \"M\\xc3\\xbc\"", 1},
           {"iax2.iax.calling_name matches \"^ALICE m\"", 1}, // matches ignores case
           {"iax2.iax.calling_name contains \"alice\"", 0},   // contains does not
           {"iax2.iax.calling_name ~ \"m(ü|ue)ller\"", 1},
           // A back-reference number too large for a long: libstdc++'s
           // std::regex overflowed on it (found by the fuzzer).
           {"iax2.iax.calling_name matches \"\\\\99999999999999999999\"", 0}});
}

// Sets are sorted and merged once; membership is tested on every edge.
TEST(DisplayFilter, SetsWithOverlapsAndThousandsOfMembers) {
    std::string big = "iax2.src_call in {";
    for (int n = 1000; n < 21000; ++n) {
        big += std::to_string(n) + " ";
    }
    check({{"iax2.src_call in {200 1..2 2..1}", 36}, // a backwards range holds nothing
           {"iax2.src_call in {150..250 1 100..199}", 21},
           {"iax2.src_call in {3..99, 101..199, 201..300}", 0},
           {"ip.addr in {192.0.2.0/24}", 38},
           {"ip.src in {192.0.2.11..192.0.2.255 198.51.100.0/30}", 0}});
    EXPECT_EQ(sample().count(big + "200}"), 16) << "20,000 members and 200";
    EXPECT_EQ(sample().count(big + "}"), 0) << "20,000 members";
}

// A prefix keeps exactly its bits: on each side of the boundary, for single
// comparisons and for set members.
TEST(DisplayFilter, AddressPrefixesOnTheirBoundaries) {
    FrameFacts facts;
    facts.setKind(FrameKind::Full);
    facts.setFamily(AddressFamily::IPv4);
    facts.sourceAddress = 0xC6336481; // 198.51.100.129
    facts.sourceCaptured = 1;
    KvIAXFrame v4;
    v4.setDecoded(facts, {});
    facts.setFamily(AddressFamily::IPv6);
    Ipv6Addresses addresses;
    addresses.source = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
    KvIAXFrame v6;
    v6.setDecoded(facts, {}, addresses);
    const std::pair<const char*, bool> cases[] = {
        {"ip.src == 198.51.100.128/31", true},   {"ip.src == 198.51.100.130/31", false},
        {"ip.src == 198.51.100.128/25", true},   {"ip.src == 198.51.100.0/25", false},
        {"ip.src == 198.51.100.129/32", true},   {"ip.src == 198.51.100.128/32", false},
        {"ip.src == 0.0.0.0/0", true},           {"ip.src in {198.51.100.0/25}", false},
        {"ip.src in {198.51.100.128/25}", true}, {"ipv6.src == 2001:db8::/127", true},
        {"ipv6.src == 2001:db8::2/127", false},  {"ipv6.src == 2001:db8::/128", false},
        {"ipv6.src in {2001:db8::/127}", true},  {"ipv6.src in {2001:db8::2/127}", false},
    };
    const filter::FieldContext context{};
    for (const auto& [expression, selected] : cases) {
        std::string error;
        const auto compiled = filter::DisplayFilter::compile(expression, error);
        ASSERT_TRUE(compiled) << error;
        const KvIAXFrame& frame = std::string(expression).starts_with("ipv6") ? v6 : v4;
        EXPECT_EQ(compiled->test(frame, 1, context, error) == filter::Verdict::Match, selected)
            << expression;
    }
}

// Nesting of every kind is bounded by one count, so that an expression
// cannot exhaust the stack; long flat expressions are not nesting.
TEST(DisplayFilter, NestingOfEveryKindIsBoundedAndLongChainsAreNot) {
    const int most = filter::DisplayFilter::maxNesting;
    auto nested = [](const std::string& open, int depth, const std::string& inner,
                     const std::string& close) {
        std::string text;
        for (int i = 0; i < depth; ++i) {
            text += open;
        }
        text += inner;
        for (int i = 0; i < depth; ++i) {
            text += close;
        }
        return text;
    };
    const std::string test = "iax2.src_call == 1";
    // At the bound, each form still filters.
    EXPECT_EQ(sample().count(nested("(", most, test, ")")), 3);
    EXPECT_EQ(sample().count(nested("!", most, test, "")), 3);
    EXPECT_EQ(sample().count(nested("(!", most / 2, test, ")")), 3);
    EXPECT_EQ(sample().count(nested("len(", most, "iax2.src_call", ")") + " == 4"), 38);
    EXPECT_EQ(sample().count(
                  nested("(", most / 2, nested("len(", most / 2, "ip.src", ")") + " == 4", ")")),
              38);
    struct Case {
        std::string expression;
        std::size_t column; // where the first level past the bound starts
    };
    const std::string upper = "upper(";
    const Case cases[] = {
        {nested("(", 9600, test, ")"), most + 1},
        {nested("!", 15800, test, ""), most + 1},
        {nested("not ", 300, test, ""), 4 * most + 1},
        // Functions nest too, alone, as an argument of each other, on the
        // right of a comparison and inside parentheses and negations.
        {nested("len(", 18000, "iax2.src_call", ")"), 4 * most + 1},
        {nested(upper, 300, "iax2.iax.username", ")") + " == \"A\"", 6 * most + 1},
        {"frame.len == " + nested("len(", 300, "ip.src", ")"), 14 + 4 * most},
        {nested("(", 200, nested("len(", 100, "ip.src", ")") + " == 4", ")"), 201 + 4 * 56},
        {nested("!", 100, nested("count(", 200, "ip.src", ")"), ""), 101 + 6 * 156},
    };
    for (const auto& [expression, column] : cases) {
        std::string error;
        EXPECT_FALSE(filter::DisplayFilter::compile(expression, error)) << expression.substr(0, 40);
        EXPECT_EQ(error, "the expression nests more than " + std::to_string(most) +
                             " levels deep (parentheses, negations and function calls) at column " +
                             std::to_string(column))
            << expression.substr(0, 40);
    }
    std::string chain = test;
    for (int i = 0; i < 100000; ++i) {
        chain += i % 2 == 0 ? " or iax2.src_call == 3" : " and iax2.dst_call == 7";
    }
    EXPECT_EQ(sample().count(chain), 3);
}

// A pattern that backtracks without end stops at PCRE2's match limit, and
// the frame is reported as failed, never as a quiet "no match".
TEST(DisplayFilter, ARegularExpressionAtItsMatchLimitFailsTheFrame) {
    const IaxDissector dissector(std::cerr);
    KvIAXFrame frame;
    const auto body = iaxgen::Elements().text(4, std::string(40, 'a') + "!").bytes();
    const auto packet = iaxgen::udpPacket({{192, 0, 2, 1}, 4569}, {{192, 0, 2, 2}, 4569},
                                          iaxgen::fullFrame({.subclass = 1}, body));
    dissector.decodeInto({.bytes = packet}, frame);
    const filter::FieldContext context{.firstFrame = &frame.facts(), .calls = nullptr};
    for (const auto& [expression, verdict] :
         {std::pair{"iax2.iax.calling_name matches \"(a+)+$\"", filter::Verdict::Failed},
          std::pair{"iax2.iax.calling_name matches \"(a+)+x|aaa\"", filter::Verdict::Failed},
          std::pair{"iax2.iax.calling_name matches \"aaa\"", filter::Verdict::Match},
          std::pair{"iax2.iax.calling_name matches \"^a+!$\"", filter::Verdict::Match},
          std::pair{"iax2.iax.calling_name matches \"b\" or frame.len > 0", filter::Verdict::Match}}) {
        std::string error;
        const auto compiled = filter::DisplayFilter::compile(expression, error);
        ASSERT_TRUE(compiled) << error;
        std::string why;
        EXPECT_EQ(compiled->test(frame, 7, context, why), verdict) << expression;
        if (verdict == filter::Verdict::Failed) {
            EXPECT_EQ(why, "the regular expression at column 31 backtracks too much on frame 7 "
                           "(PCRE2's match limit); make it more specific");
        } else {
            EXPECT_EQ(why, "");
        }
    }
}

// What the fuzzer found, kept with the result each must give.
TEST(DisplayFilter, FuzzerFindingsGiveTheirErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"regex-nul-and-long-escapes.filter",
         "invalid regular expression at column 31: reference to non-existent subpattern"},
        {"regex-class-and-huge-backreference.filter",
         "invalid regular expression at column 31: UTF-8 error: isolated byte with 0x80 bit set"},
        // Seconds whose nanoseconds would overflow.
        {"relative-time-past-292-years.filter",
         "'88888628870' is not a time in seconds, as frame.time_relative needs, at column 24"},
    };
    for (const auto& [file, message] : cases) {
        std::ifstream in(std::string(QUORVEX_TEST_DATA "/filter-regressions/") + file,
                         std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::string expression((std::istreambuf_iterator<char>(in)), {});
        std::string error;
        EXPECT_FALSE(filter::DisplayFilter::compile(expression, error)) << file;
        EXPECT_EQ(error, message) << file;
    }
}

// Protocols alone, functions of fields, bit tests and one field against
// another, as Wireshark users write them.
TEST(DisplayFilter, ProtocolsFunctionsBitTestsAndFieldPairs) {
    check({{"iax2", 38},
           {"udp and not ipv6", 38},
           {"frame", 38},
           {"len(iax2.iax.username) == 5", 5},
           {"len(ip.src) == 4", 38},
           {"upper(iax2.iax.username) == \"ALICE\"", 5},
           {"lower(iax2.iax.calling_name) contains \"alice\"", 1},
           {"count(iax2.ie_id) > 3", 2},
           {"count(ip.addr) == 2", 38},
           {"iax2.src_call & 0x2", 17},
           {"iax2.src_call & 0x3 == 2", 17},
           {"iax2.iax.capability & 0x4", 1},
           {"iax2.src_call > iax2.dst_call", 10},
           {"iax2.oseqno == iax2.iseqno", 6},
           {"iax2.src_call == iax2.dst_call", 0},
           // A pair with a side absent (a mini frame's destination call) is no pair.
           {"iax2.src_call != iax2.dst_call", 18},
           {"frame.number == iax2.timestamp", 1},
           {"frame.time_delta > 0.5", 2},
           {"frame.time_epoch > 1767261601", 33},
           {"frame.time >= \"2026-01-01 10:00:01 UTC\"", 33},
           {"frame.time_relative == 0.012", 1},
           {"iax2.iax.datetime", 2},
           {"iax2.ie_id == 6", 5}});
}

TEST(DisplayFilter, NewConstructsSayWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"len(iax2.src_call", "the call of len() at column 1 is not closed: end of the expression"},
        {"upper(iax2.src_call) == \"A\"",
         "type error at column 1: upper() needs text, and its argument is a number"},
        {"iax2.iax.username & 1", "type error at column 1: '&' needs a number, and "
                                  "iax2.iax.username is text"},
        {"iax2.src_call & x", "a number was expected after '&' at column 17, not 'x'"},
        {"iax2 == 1", "type error at column 1: iax2 has no value to compare, only presence"},
        {"iax2.src_call == ip.src",
         "type error at column 18: iax2.src_call is a number, and ip.src is an IPv4 address"},
        {"frame.time == \"yesterday\"",
         "'yesterday' is not a time in seconds, as frame.time needs, at column 15"},
    };
    for (const auto& [expression, message] : cases) {
        std::string error;
        EXPECT_FALSE(filter::DisplayFilter::compile(expression, error)) << expression;
        EXPECT_EQ(error.substr(0, std::string(message).size()), message) << expression;
    }
}

TEST(DisplayFilter, QuorvexCallsAndDisplayKeys) {
    check({{"quorvex.call == 1", 33},
           {"quorvex.call", 33},
           {"!quorvex.call", 5},
           {"type == \"Mini Frame\"", 20},
           {"subclass == \"REGACK\"", 1},
           {"subclass contains \"REG\"", 4},
           {"source == \"192.0.2.10\"", 20},
           {"scall == \"00002\"", 17}});
}

TEST(DisplayFilter, ErrorsSayWhereAndWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"ip.adr == 1.2.3.4", "unknown field 'ip.adr' at column 1"},
        {"iax2.src_call == \"x\"",
         "type error at column 18: iax2.src_call is a number, and \"x\" is a string"},
        {"iax2.src_call == x", "'x' is not a number, as iax2.src_call needs, at column 18"},
        {"ip.src == 300.1.1.1",
         "'300.1.1.1' is not an IPv4 address, as ip.src needs, at column 11"},
        {"ip.src == 10.0.0.0/33",
         "'10.0.0.0/33' is not an IPv4 address, as ip.src needs, at column 11"},
        {"iax2.src_call contains \"1\"",
         "type error at column 24: 'contains' needs a text field, and iax2.src_call is a number"},
        {"(iax2.src_call == 1",
         "the '(' at column 1 is not closed: end of the expression at column 20"},
        {"iax2.src_call == 1)", "unexpected ')' at column 19"},
        {"iax2.src_call ==",
         "a value was expected after '==' at column 17, not end of the expression"},
        {"iax2.src_call = 1", "'=' is not an operator at column 15; compare with '=='"},
        {"iax2.src_call == 1 and", "a field was expected at column 23, not end of the expression"},
        {"iax2.iax.username == \"alice", "unterminated string at column 22"},
        {"iax2.src_call in {1, 2", "the set is not closed with '}' at column 23"},
        {"iax2.iax.cause matches \"a(\"",
         "invalid regular expression at column 24: missing closing parenthesis"},
        {"ip.src == 1.2.3.4 # comment", "unexpected character '#' at column 19"},
        {"   ", "the expression is empty"},
    };
    for (const auto& [expression, message] : cases) {
        std::string error;
        EXPECT_FALSE(filter::DisplayFilter::compile(expression, error)) << expression;
        EXPECT_EQ(error.substr(0, std::string(message).size()), message) << expression;
    }
}

// "Apply as Filter" on any cell or element makes an expression that
// compiles and selects the frame it was made from.
TEST(DisplayFilter, ExpressionsMadeFromACellSelectTheirFrame) {
    const filter::FieldContext context{.firstFrame = &sample().frames.front()->facts(), .calls = &sample().calls};
    int wiresharkFields = 0;
    for (std::uint32_t number = 1; number <= sample().frames.size(); ++number) {
        const KvIAXFrame& frame = *sample().frames[number - 1];
        std::vector<std::string> made;
        for (const char* key :
             {"source", "destination", "isretry", "type", "subclass", "timestamp", "scall", "dcall",
              "time", "captured", "sourcePort", "destinationPort"}) {
            if (const auto expression = filter::expressionForCell(frame, key)) {
                made.push_back(*expression);
            }
        }
        for (std::size_t row = 0; row < frame.iaxInformationElements().size(); ++row) {
            if (const auto expression = filter::expressionForElement(frame, row)) {
                made.push_back(*expression);
            }
        }
        for (const std::string& expression : made) {
            std::string error;
            const auto compiled = filter::DisplayFilter::compile(expression, error);
            ASSERT_TRUE(compiled) << expression << ": " << error;
            EXPECT_EQ(compiled->test(frame, number, context, error), filter::Verdict::Match)
                << expression << " on " << number;
            wiresharkFields += expression.find('.') < expression.find(' ') ? 1 : 0;
        }
    }
    EXPECT_GT(wiresharkFields, 300);
    EXPECT_EQ(filter::expressionForCell(*sample().frames[5], "subclass"), "iax2.iax.subclass == 1");
    EXPECT_EQ(filter::expressionForElement(*sample().frames[5], 3),
              "iax2.iax.calling_name == \"Alice M\xc3\xbcller\"");
    EXPECT_EQ(filter::quoted("a\"b\\"), "\"a\\\"b\\\\\"");
}

TEST(DisplayFilter, SaysWhatItNeedsBesideTheFrames) {
    std::string error;
    EXPECT_EQ(filter::DisplayFilter::compile("ip.src == 1.2.3.4", error)->needs(),
              filter::NeedsNothing);
    EXPECT_EQ(
        filter::DisplayFilter::compile("quorvex.call == 2 or eth.src == 02:00:00:00:00:01", error)
            ->needs(),
        filter::NeedsCalls | filter::NeedsCaptureFile);
}

} // namespace
