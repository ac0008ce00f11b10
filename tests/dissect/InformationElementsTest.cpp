#include "dissect/IaxDissector.h"
#include "dissect/KvIAXInformationElement.h"
#include "samples/IaxPacketBuilder.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class InformationElements : public ::testing::Test {
protected:
    // Walks `area` with its full size as the declared length unless one is given.
    Pairs walk(const ByteVector& area, std::optional<long> declared = std::nullopt) {
        ElementList list;
        dissector.decodeInformationElements(
            ByteCursor{area}, declared.value_or(static_cast<long>(area.size())), list);
        Pairs pairs;
        for (const auto& element : list) {
            pairs.emplace_back(element->properties().text(PropertyKey::parameter),
                               element->properties().text(PropertyKey::value));
        }
        return pairs;
    }

    std::ostringstream dump;
    IaxDissector dissector{dump};
};

} // namespace

TEST_F(InformationElements, RunStopsAtIdentifierZero) {
    EXPECT_EQ(walk(bytesOf({0x06, 0x05, 'a', 'l', 'i', 'c', 'e', 0x0B, 0x02, 0x00, 0x02, 0x00})),
              (Pairs{{"Username", "alice"}, {"Version", "2"}}));
    EXPECT_EQ(walk(bytesOf({0x00, 0x06, 0x01, 'x'})), Pairs{});
    EXPECT_EQ(walk({}), Pairs{});
    EXPECT_EQ(walk(bytesOf({0x06, 0x01, 'x'}), 0), Pairs{});
    EXPECT_EQ(walk(bytesOf({0x06, 0x01, 'x'}), -4), Pairs{});
}

TEST_F(InformationElements, EveryKnownKind) {
    const iaxgen::Endpoint endpoint{{192, 168, 1, 2}, 4569};
    const auto area = iaxgen::Elements()
                          .text(1, "100")
                          .text(4, "Ren\xE9")
                          .u32(8, 0xFFFFFFFF)
                          .u32(9, 4)
                          .u16(12, 0)
                          .raw(13, bytesOf({1, 2, 3}))
                          .socketAddress(18, endpoint)
                          .u8(23, 200)
                          .raw(25, {})
                          .raw(26, bytesOf({9}))
                          .datetime(31, 2007, 3, 15, 14, 30, 20)
                          .u16(41, 8000)
                          .u8(42, 16)
                          .bytes();
    EXPECT_EQ(walk(area), (Pairs{{"Called Number", "100"},
                                 {"Calling Name", "Ren\xC3\xA9"},
                                 {"Capability", "4294967295"},
                                 {"Format", "4"},
                                 {"ADSI CPE", "0"},
                                 {"DNID", "(deprecated)"},
                                 {"Aparent Address", "192.168.1.2"},
                                 {"Unknown", "200"},
                                 {"Autoanswer", ""},
                                 {"Request MOH", ""},
                                 {"Datetime", "14:30:20 15-03-2007"},
                                 {"Supported Sampling Rates", "8000"},
                                 {"Cause Code", "16"}}));
    EXPECT_EQ(dump.str(), "");
}

TEST_F(InformationElements, PackedDateFromTheWire) {
    EXPECT_EQ(walk(bytesOf({0x1F, 0x04, 0x0E, 0x6F, 0x73, 0xCA})),
              (Pairs{{"Datetime", "14:30:20 15-03-2007"}}));
}

TEST_F(InformationElements, NumbersReadTheirWidthWhateverTheLengthByteSays) {
    // Version declared with one byte reads two, the second being the next
    // element's identifier; the walk then goes on after the declared byte.
    EXPECT_EQ(walk(bytesOf({0x0B, 0x01, 0x00, 0x06, 0x01, 'x'})),
              (Pairs{{"Version", "6"}, {"Username", "x"}}));
}

TEST_F(InformationElements, UnknownElementsAreDumpedAndListed) {
    EXPECT_EQ(walk(bytesOf({0x2B, 0x02, 0xAB, 0xCD})), (Pairs{{"Unknown Info Element", ""}}));
    EXPECT_EQ(dump.str(), "Unknown IE 43 at position: 0 with length: 2\nabcd\n");
    dump.str("");
    // Each byte without leading zeros; a length byte of 200 is 200.
    ByteVector value(200, 0x0A);
    value[1] = 0x00;
    walk(bytesOf({0x06, 0x00, 0xFF, 200}) + value);
    EXPECT_EQ(dump.str(),
              "Unknown IE 255 at position: 2 with length: 200\na0" + std::string(198, 'a') + "\n");
    dump.str("");
    for (int id : {29, 30, 35, 36, 37, 43, 254}) {
        EXPECT_EQ(walk(bytesOf({id, 0x00})), (Pairs{{"Unknown Info Element", ""}}));
    }
}

TEST_F(InformationElements, ElementsRunningPastTheEndAreNeverRead) {
    // Each pair: an element cut by the end of the declared area is malformed.
    EXPECT_EQ(walk(bytesOf({0x06, 0x05, 'a', 'b'})), (Pairs{{"Username", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x0B, 0x00})), (Pairs{{"Version", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x0B, 0x00, 0x01})),
              (Pairs{{"Version", "(malformed)"}, {"Called Number", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x08, 0x04, 1, 2, 3})), (Pairs{{"Capability", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x17, 0x00})), (Pairs{{"Unknown", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x12, 0x10, 0, 2, 0x11, 0xD9, 192, 168})),
              (Pairs{{"Aparent Address", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x1F, 0x04, 0x0E, 0x6F})), (Pairs{{"Datetime", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x2B, 0x09, 0xAB})), (Pairs{{"Unknown Info Element", "(malformed)"}}));
    EXPECT_EQ(walk(bytesOf({0x06})), (Pairs{{"Username", "(malformed)"}}));
    EXPECT_EQ(dump.str(), "");

    // The same elements where the capture ended before the declared area did.
    EXPECT_EQ(walk(bytesOf({0x06, 0x05, 'a', 'b'}), 7), (Pairs{{"Username", "(truncated)"}}));
    EXPECT_EQ(walk(bytesOf({0x06}), 7), (Pairs{{"Username", "(truncated)"}}));
    // Where the capture ends at an element's start, the area says it was cut
    // off; no element is named that was never read.
    EXPECT_EQ(walk(bytesOf({0x06, 0x01, 'a'}), 7),
              (Pairs{{"Username", "a"}, {"Information elements", "(truncated)"}}));
    EXPECT_EQ(walk({}, 7), (Pairs{{"Information elements", "(truncated)"}}));
    // Elements that need no value bytes fit even at the very end.
    EXPECT_EQ(walk(bytesOf({0x19, 0x00, 0x0D, 0x00})),
              (Pairs{{"Autoanswer", ""}, {"DNID", "(deprecated)"}}));
}
