// The field registry's readers, the packet details and the Info column, on
// frames built for the purpose.
#include "dissect/FrameDisplay.h"
#include "dissect/FrameSummary.h"
#include "dissect/IaxDissector.h"
#include "dissect/InformationElementTable.h"
#include "fields/ColumnFields.h"
#include "fields/FieldRegistry.h"
#include "fields/FieldText.h"
#include "fields/PacketTree.h"
#include "samples/IaxPacketBuilder.h"

#include <gtest/gtest.h>

#include <bit>

#include <fstream>
#include <set>
#include <sstream>

namespace {

using iaxgen::Elements;

const iaxgen::Endpoint a{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint b{{10, 0, 0, 2}, 4569};

struct Built {
    iaxgen::Bytes packet;
    KvIAXFrame frame;
};

std::unique_ptr<Built> build(const iaxgen::Bytes& payload) {
    auto built = std::make_unique<Built>();
    built->packet = iaxgen::udpPacket(a, b, payload);
    std::ostringstream dump;
    IaxDissector(dump).decodeInto({.bytes = built->packet}, built->frame);
    return built;
}

iaxgen::Bytes full(std::uint8_t type, std::uint8_t subclass, const Elements& elements = {},
                   bool retry = false) {
    return iaxgen::fullFrame({.sourceCall = 7,
                              .destinationCall = 9,
                              .retransmission = retry,
                              .timestamp = 240,
                              .outSequence = 3,
                              .inSequence = 7,
                              .frameType = type,
                              .subclass = subclass},
                             elements.bytes());
}

// The far end's receiver report, as a PONG carries it.
Elements receiverReport() {
    return Elements()
        .u32(46, 12)
        .u32(47, 3u << 24 | 25)
        .u32(48, 1500)
        .u16(49, 60)
        .u32(50, 4)
        .u32(51, 2);
}

// The lines of the tree, depth-first, each indented by its depth.
void lines(const fields::TreeItem& item, int depth, std::vector<std::string>& into) {
    for (const fields::TreeItem& child : item.children) {
        into.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') + child.text);
        lines(child, depth + 1, into);
    }
}

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

} // namespace

TEST(Fields, InfoAndLadderNameEveryFrameKindInRfcWords) {
    const struct {
        iaxgen::Bytes payload;
        const char* info;
        const char* label;
    } cases[] = {
        {full(6, 1, Elements().text(2, "100").text(1, "200")), "NEW 100 \u2192 200 (call 7)",
         "NEW"},
        {full(1, '5'), "DTMF End 5", "DTMF 5"},
        {full(12, '#'), "DTMF Begin #", "DTMF #"},
        {full(6, 3), "PONG", "PONG"},
        {full(6, 3, receiverReport()), "PONG (rr: jitter 12, loss 3 %)", "PONG"},
        {full(6, 18), "VNAK iseq 7", "VNAK"},
        {full(6, 5, Elements().text(22, "Normal Clearing").u8(42, 16)),
         "HANGUP Normal Clearing (Normal clearing)", "HANGUP"},
        {full(6, 4, {}, true), "ACK [retransmission]", "ACK"},
        {full(4, 4), "Control ANSWER", "ANSWER"},
        {full(2, 4), "Voice Raw mu-law data (G.711) ts 240", "Voice"},
        {iaxgen::miniFrame(7, 2240, iaxgen::Bytes(160, 0xFF)), "Mini voice ts 2240", "Mini voice"},
    };
    for (const auto& c : cases) {
        const auto built = build(c.payload);
        EXPECT_EQ(framesummary::info(built->frame), c.info);
        EXPECT_EQ(framesummary::label(built->frame), c.label);
    }
}

// The frame table's columns, read as registry fields, give the table's own
// texts; a cell stands for the wire field that holds its value, where one does.
TEST(Fields, TheColumnsAreFieldsThatReadAsTheTableShows) {
    const struct {
        iaxgen::Bytes payload;
        const char* subclassWire; // nullptr: the subclass column's own text
        const char* typeWire;
    } cases[] = {
        {full(6, 1, Elements().text(2, "100")), "iax2.iax.subclass", "iax2.type"},
        {full(4, 4), "iax2.control.subclass", "iax2.type"},
        {full(2, 4), "iax2.voice.codec", "iax2.type"},
        {full(1, '5'), nullptr, "iax2.type"},
        {iaxgen::miniFrame(7, 2240, iaxgen::Bytes(160, 0xFF)), nullptr, "iax2.packet_type"},
    };
    const fields::FieldContext none;
    const auto textOf = [&](const KvIAXFrame& frame, const char* name) {
        struct : fields::ValueSink {
            bool take(const fields::Value& value) override {
                text = value.text;
                return true;
            }
            std::string text;
        } sink;
        const fields::Field* field = fields::findField(name);
        EXPECT_NE(field, nullptr) << name;
        if (field != nullptr) {
            field->read(fields::FieldFrame(frame, 1, none), *field, sink);
        }
        return sink.text;
    };
    const auto nameOf = [](const fields::Field* field) {
        return field != nullptr ? field->name : std::string("(own text)");
    };
    for (const auto& c : cases) {
        const auto built = build(c.payload);
        for (const PropertyKey key : framedisplay::displayKeys()) {
            const std::string name(key.name());
            EXPECT_EQ(textOf(built->frame, name.c_str()), built->frame.text(key)) << name;
        }
        EXPECT_EQ(textOf(built->frame, "quorvex.info"), framesummary::info(built->frame));
        EXPECT_EQ(nameOf(fields::wireFieldOfCell("subclass", built->frame)),
                  c.subclassWire != nullptr ? c.subclassWire : "(own text)");
        EXPECT_EQ(nameOf(fields::wireFieldOfCell("type", built->frame)), c.typeWire);
        EXPECT_EQ(nameOf(fields::wireFieldOfCell("source", built->frame)), "ip.src");
        EXPECT_EQ(nameOf(fields::wireFieldOfCell("captured", built->frame)), "(own text)");
    }
}

// Every field of the tree lies where its bytes are; the receiver report is
// read by its elements' names; without the packet's bytes the header fields
// are still there, and the link layer is not.
TEST(Fields, TheTreeNamesEveryFieldAndWhereItLies) {
    const auto pong = build(full(6, 3, receiverReport()));
    const fields::FieldContext none;
    const fields::TreeItem tree = fields::packetTree(pong->frame, 4, none, pong->packet);
    std::vector<std::string> all;
    lines(tree, 0, all);
    for (const char* line :
         {"Frame 4: 88 bytes on wire (704 bits), 88 bytes captured (704 bits)",
          "  Source: 02:00:00:00:00:01",
          "Internet Protocol Version 4, Src: 10.0.0.1, Dst: 10.0.0.2", "  Time to Live: 64",
          "  Protocol: 17", "  IAX subclass: PONG (3)",
          "  Information Element: Received jitter (as in RFC1889): 0x0000000c",
          "    IE id: Received jitter (46)", "    Length: 4",
          "  Information Element: Max playout delay in ms for received frames: 0x003c",
          "  Information Element: Frame received out of order: 0x00000002",
          "  .000 0000 0000 0111 = Source call: 7", "  Outbound seq.no.: 3"}) {
        EXPECT_TRUE(hasLine(all, line)) << "no line: " << line;
    }
    // Each value's bytes hold what the line says: the IE id byte is 46, and
    // every IAX2 number read from the bytes it points at (masked, as a
    // field that is part of a word is) is the number printed.
    std::size_t numbersChecked = 0;
    std::function<void(const fields::TreeItem&)> check = [&](const fields::TreeItem& item) {
        for (const fields::TreeItem& child : item.children) {
            if (child.field != nullptr && child.field->name == "iax2.ie_id" &&
                child.printed == "46") {
                ASSERT_GE(child.offset, 0);
                EXPECT_EQ(pong->packet.at(static_cast<std::size_t>(child.offset)), 46);
                EXPECT_EQ(child.length, 1);
            }
            const FieldKind kind = child.field != nullptr ? child.field->kind : FieldKind::None;
            if (child.field != nullptr && child.field->name.starts_with("iax2.") &&
                (kind == FieldKind::Unsigned8 || kind == FieldKind::Unsigned16 ||
                 kind == FieldKind::Unsigned32) &&
                child.offset >= 0 && child.length >= 1 && child.length <= 4) {
                std::uint64_t word = 0;
                for (int i = 0; i < child.length; ++i) {
                    word = word << 8 | pong->packet.at(static_cast<std::size_t>(child.offset + i));
                }
                if (const std::uint64_t mask = child.field->bitmask; mask != 0) {
                    word = (word & mask) >> std::countr_zero(mask);
                }
                EXPECT_EQ(std::to_string(word),
                          std::to_string(std::stoull(child.printed, nullptr, 0)))
                    << child.field->name;
                ++numbersChecked;
            }
            ASSERT_LE(child.offset + child.length, static_cast<int>(pong->packet.size()))
                << child.text;
            check(child);
        }
    };
    check(tree);
    EXPECT_GE(numbersChecked, 12u);

    // From the record alone (a capture read from standard input).
    const fields::TreeItem bare = fields::packetTree(pong->frame, 4, none, {});
    std::vector<std::string> kept;
    lines(bare, 0, kept);
    EXPECT_TRUE(hasLine(kept, "  IAX subclass: PONG (3)"));
    EXPECT_FALSE(hasLine(kept, "  Source: 02:00:00:00:00:01"));
    EXPECT_FALSE(hasLine(kept, "  Time to Live: 64"));
}

// What the fuzzer found, kept with the result each must give: a header cut
// short by the capture is shown where it would be, and no line's bytes run
// past what was captured.
TEST(Fields, FuzzerFindingsKeepEveryLineWithinTheCapture) {
    for (const char* file : {"raw-ipv6-header-cut-short.bin"}) {
        std::ifstream in(std::string(QUORVEX_TEST_DATA "/decode-regressions/") + file,
                         std::ios::binary);
        ASSERT_TRUE(in) << file;
        const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), {});
        ASSERT_FALSE(input.empty());
        // As the fuzzer reads it: a link type by the first byte, then the packet.
        static constexpr std::uint16_t linkTypes[] = {1, 113, 276, 12, 101, 228, 229, 0, 108, 147};
        const std::vector<std::uint8_t> packet(input.begin() + 1, input.end());
        KvIAXFrame frame;
        std::ostringstream dump;
        IaxDissector(dump).decodeInto(
            {.bytes = packet, .linkType = linkTypes[input[0] % std::size(linkTypes)]}, frame);
        const fields::FieldContext none;
        const fields::TreeItem tree = fields::packetTree(frame, 1, none, packet);
        std::vector<const fields::TreeItem*> pending{&tree};
        while (!pending.empty()) {
            const fields::TreeItem* item = pending.back();
            pending.pop_back();
            EXPECT_LE(item->offset + item->length, static_cast<int>(packet.size())) << item->text;
            for (const fields::TreeItem& child : item->children) {
                pending.push_back(&child);
            }
        }
        std::vector<std::string> all;
        lines(tree, 0, all);
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [](const std::string& line) {
            return line.starts_with("Internet Protocol Version 6, Src: 7e7e:");
        })) << file;
    }
}

TEST(Fields, NumbersAndAddressesArePrintedAsPrintfWould) {
    const struct {
        FieldKind kind;
        FieldBase base;
        std::uint64_t number;
        const char* printed;
    } cases[] = {
        {FieldKind::Unsigned8, FieldBase::Decimal, 0, "0"},
        {FieldKind::Unsigned64, FieldBase::Decimal, UINT64_MAX, "18446744073709551615"},
        {FieldKind::Signed16, FieldBase::Decimal, static_cast<std::uint64_t>(-300), "-300"},
        {FieldKind::Unsigned8, FieldBase::Hexadecimal, 0x0c, "0x0c"},
        {FieldKind::Unsigned16, FieldBase::Hexadecimal, 0xab, "0x00ab"},
        {FieldKind::Unsigned24, FieldBase::HexadecimalAndDecimal, 0xabcd, "0x00abcd"},
        {FieldKind::Unsigned32, FieldBase::Hexadecimal, 0xdeadbeef, "0xdeadbeef"},
        {FieldKind::Unsigned32, FieldBase::Hexadecimal, 0x1deadbeef, "0x1deadbeef"},
        {FieldKind::IPv4, FieldBase::Decimal, 0xC0000201, "192.0.2.1"},
        {FieldKind::IPv4, FieldBase::Decimal, 0, "0.0.0.0"},
        {FieldKind::IPv4, FieldBase::Decimal, 0xFFFFFFFF, "255.255.255.255"},
    };
    for (const auto& one : cases) {
        fields::Field field;
        field.kind = one.kind;
        field.base = one.base;
        fields::Value value;
        value.kind = one.kind;
        value.number = one.number;
        EXPECT_EQ(fields::printedValue(field, value), one.printed) << one.printed;
    }
}

// An element's row is all it takes: every row with a field is found by its
// name, with the row's label, and no two fields share a name.
TEST(Fields, EveryElementRowIsAFieldOfItsOwn) {
    std::set<std::string> names;
    for (const fields::Field& field : fields::allFields()) {
        EXPECT_TRUE(names.insert(field.name).second) << field.name << " is registered twice";
    }
    for (unsigned id = 0; id < 256; ++id) {
        const iaxelements::ElementKind& row = iaxelements::elementTable[id];
        if (row.field == nullptr) {
            continue;
        }
        const std::string name = std::string("iax2.iax.") + row.field;
        const fields::Field* found = fields::findField(name);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(fields::elementField(static_cast<std::uint8_t>(id)), found) << name;
        EXPECT_EQ(found->label, row.label) << name;
    }
}
