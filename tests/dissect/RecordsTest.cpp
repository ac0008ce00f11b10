#include "dissect/KvIAXFrame.h"
#include "dissect/IaxValueNames.h"
#include "dissect/KvIAXInformationElement.h"

#include "tests/support/Bytes.h"
#include "tests/support/RecordingLogSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

std::string valueOf(const KvIAXInformationElement& element) {
    return element.properties().text(PropertyKey::value);
}

} // namespace

TEST(InformationElementRecord, FreshRecordAndFillOperations) {
    KvIAXInformationElement element;
    EXPECT_EQ(element.properties().text(PropertyKey::parameter), "Caller");
    EXPECT_EQ(valueOf(element), "vorth");

    const ByteVector bytes =
        bytesOf({0xFF, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A, 0xFF, 0xFF, 0xFF, 0xFF});
    element.add8BitElement("Eight", std::span(bytes).first<1>());
    EXPECT_EQ(valueOf(element), "255");
    element.add16BitElement("Sixteen", std::span(bytes).subspan<1, 2>());
    EXPECT_EQ(valueOf(element), "2");
    element.add32BitElement("ThirtyTwo", std::span(bytes).subspan<3, 4>());
    EXPECT_EQ(valueOf(element), "10");
    element.add32BitElement("Max", std::span(bytes).subspan<7, 4>());
    EXPECT_EQ(valueOf(element), "4294967295");

    // Each fill replaces the whole map: exactly one parameter/value pair.
    EXPECT_EQ(element.properties().size(), 2u);
    EXPECT_EQ(element.properties().text(PropertyKey::parameter), "Max");
}

TEST(InformationElementRecord, StringsTakeExactlyTheGivenBytesAsLatin1) {
    KvIAXInformationElement element;
    const ByteVector bytes = bytesOf({'a', 0x00, 'b', 0xE9, 0xFF, 'z'});
    element.addStringElement("Name", std::span(bytes).first(5));
    EXPECT_EQ(valueOf(element), std::string("a\0b\xC3\xA9\xC3\xBF", 7));
    element.addStringElement("Empty", std::span(bytes).first(0));
    EXPECT_EQ(valueOf(element), "");
    EXPECT_EQ(element.properties().text(PropertyKey::parameter), "Empty");
}

TEST(FrameRecord, FreshRecordHasPlaceholdersAndLogsItsCreation) {
    RecordingLogSink log;
    KvIAXFrame frame;
    EXPECT_EQ(log.lines(), std::vector<std::string>{"In KvIaxFrame init"});
    EXPECT_EQ(frame.properties().text(PropertyKey::source), KvIAXFrame::placeholderAddress);
    EXPECT_EQ(frame.properties().text(PropertyKey::destination), KvIAXFrame::placeholderAddress);
    for (PropertyKey key :
         {PropertyKey::isretry, PropertyKey::type, PropertyKey::subclass, PropertyKey::timestamp,
          PropertyKey::scall, PropertyKey::dcall, PropertyKey::time}) {
        EXPECT_EQ(frame.properties().text(key), "N/A") << key.name();
    }
    EXPECT_FALSE(frame.properties().contains(PropertyKey::informationElements));
    EXPECT_TRUE(frame.iaxInformationElements().empty());
}

TEST(FrameRecord, SettersKeepTheirOwnCopies) {
    KvIAXFrame frame;
    PropertyMap map;
    map.set(PropertyKey::type, PropertyValue::text("Mini Frame"));
    frame.setProperties(map);
    map.set(PropertyKey::type, PropertyValue::text("changed"));
    map.set(PropertyKey::scall, PropertyValue::padded5(1));
    EXPECT_EQ(frame.properties().text(PropertyKey::type), "Mini Frame");
    EXPECT_FALSE(frame.properties().contains(PropertyKey::scall));

    // The very map already held: nothing changes.
    frame.setProperties(frame.properties());
    EXPECT_EQ(frame.properties().size(), 1u);
    frame.setProperties(nullptr);
    EXPECT_TRUE(frame.properties().empty());

    ElementList elements{std::make_shared<KvIAXInformationElement>()};
    frame.setIaxInformationElements(elements);
    elements.push_back(std::make_shared<KvIAXInformationElement>());
    ASSERT_EQ(frame.iaxInformationElements().size(), 1u);
    EXPECT_EQ(frame.iaxInformationElements()[0], elements[0]); // same record, not a copy
    frame.setIaxInformationElements(nullptr);
    EXPECT_TRUE(frame.iaxInformationElements().empty());
}

TEST(RecordObservation, RemovingAnObserverNeverFailsNorLogs) {
    RecordingLogSink log;
    KvIAXFrame frame;
    KvIAXInformationElement element;
    int observer = 0;

    frame.addObserver(&observer, "properties");
    frame.removeObserver(&observer, "properties");
    frame.removeObserver(&observer, "properties"); // never registered now
    element.removeObserver(&observer, "properties");
    EXPECT_EQ(log.lines().size(), 1u); // "In KvIaxFrame init" alone
}

// A list that lets its oldest frames go keeps every position and its first
// frame; appending moves a whole block.
TEST(FrameListTest, ReleasingKeepsPositionsAndTheFirstFrame) {
    RecordingLogSink quiet;
    FrameList list;
    std::vector<std::shared_ptr<KvIAXFrame>> made;
    for (int i = 0; i < 6; ++i) {
        made.push_back(std::make_shared<KvIAXFrame>());
    }
    FrameList block{made[0], made[1], made[2]};
    list.append(std::move(block));
    EXPECT_TRUE(block.empty());
    list.push_back(made[3]);
    list.releaseBefore(2);
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.released(), 2u);
    EXPECT_EQ(list[2], made[2]);
    EXPECT_EQ(list[3], made[3]);
    EXPECT_EQ(list.front(), made[0]);  // times still count from it
    EXPECT_EQ(made[1].use_count(), 1); // let go
    EXPECT_EQ(std::distance(list.begin(), list.end()), 2);
    list.releaseBefore(99); // never the last
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.released(), 3u);
    EXPECT_EQ(list.back(), made[3]);
    list.push_back(made[4]);
    EXPECT_EQ(list[4], made[4]);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.released(), 0u);
}

// Past the first chunks of the list (thousands of frames each): positions,
// iteration and copies agree, and a released chunk lets its frames go.
TEST(FrameListTest, ManyFramesKeepTheirPositionsAcrossChunks) {
    RecordingLogSink quiet;
    const auto early = std::make_shared<KvIAXFrame>();
    const auto late = std::make_shared<KvIAXFrame>();
    FrameList list;
    constexpr std::size_t count = 20'000;
    for (std::size_t i = 0; i < count; ++i) {
        list.push_back(i < count / 2 ? early : late);
    }
    EXPECT_EQ(list.end() - list.begin(), static_cast<std::ptrdiff_t>(count));
    EXPECT_EQ(list[count / 2 - 1], early);
    EXPECT_EQ(list[count / 2], late);
    list.releaseBefore(count / 2);
    EXPECT_EQ(early.use_count(), 2); // the list's first frame, and this test's
    EXPECT_EQ(list.front(), early);
    const FrameList copy = list;
    EXPECT_EQ(copy, list);
    EXPECT_EQ(copy.released(), count / 2);
    EXPECT_EQ(std::count(copy.begin(), copy.end(), late), static_cast<long>(count / 2));
    FrameList moved;
    moved.append(FrameList(copy));
    EXPECT_EQ(moved.size(), count / 2); // what was held, from position 0
    EXPECT_EQ(moved[0], late);
    const FrameList taken = std::move(moved);
    EXPECT_TRUE(moved.empty()); // NOLINT: a list moved from is empty
    EXPECT_EQ(taken.size(), count / 2);
}

// The details tree names an IAX control frame's subclass as the records do,
// but where the two name it otherwise on purpose (the records keep their
// own words: "Reserved" for PONG).
TEST(Names, TheTreeAndTheRecordsNameEachIaxSubclassAlike) {
    const std::map<unsigned, std::pair<std::string, std::string>> differ = {
        {0, {"(0?)", "ZERO"}},
        {3, {"PONG", "Reserved"}},
        {29, {"UNQULCH", "UNQUELCH"}},
        {33, {"UNSUPPORTED", "UNSUPPORT"}},
    };
    for (const ValueName& row : iaxvalues::iaxSubclasses()) {
        const auto subclass = static_cast<unsigned>(row.value);
        const char* tree = row.name;
        const char* record = row.shown;
        if (record == nullptr) {
            continue; // a subclass the records have no word for
        }
        ASSERT_NE(tree, nullptr) << subclass;
        const auto expected = differ.find(subclass);
        EXPECT_EQ(std::pair(std::string(tree), std::string(record)),
                  expected != differ.end() ? expected->second
                                           : std::pair(std::string(record), std::string(record)))
            << subclass;
    }
}
