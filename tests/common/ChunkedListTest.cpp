#include "common/ChunkedList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

// Around each chunk's edge (chunks of four here), the list reads back what
// was appended, in order, by index and by iterator, and an entry never moves
// once appended.
TEST(ChunkedList, HoldsWhatWasAppendedWhereItWasAppended) {
    for (const std::size_t count : {0u, 1u, 3u, 4u, 5u, 8u, 9u, 23u}) {
        SCOPED_TRACE(count);
        ChunkedList<int, 4> list;
        std::vector<int> expected(count);
        std::iota(expected.begin(), expected.end(), 100);
        std::vector<const int*> places;
        for (const int value : expected) {
            list.push_back(value);
            places.push_back(&list[list.size() - 1]);
        }
        ASSERT_EQ(list.size(), count);
        EXPECT_EQ(list.empty(), count == 0);
        EXPECT_GE(list.capacity(), count);
        EXPECT_EQ(std::vector<int>(list.begin(), list.end()), expected);
        for (std::size_t i = 4; i < count; ++i) { // the first chunk grows as a vector does
            EXPECT_EQ(&list[i], places[i]) << i;
        }
        if (count > 0) {
            EXPECT_EQ(list.front(), 100);
            EXPECT_EQ(list.back(), expected.back());
            EXPECT_TRUE(std::binary_search(list.begin(), list.end(), expected[count / 2]));
            EXPECT_EQ(std::lower_bound(list.begin(), list.end(), 100 + static_cast<int>(count)),
                      list.end());
            EXPECT_EQ(*(list.end() - 1), expected.back());
        }
    }
}

TEST(ChunkedList, ReservesOnlyTheFirstChunk) {
    ChunkedList<int, 4> list;
    list.reserve(3);
    EXPECT_EQ(list.capacity(), 3u);
    list.reserve(100);
    EXPECT_EQ(list.capacity(), 4u);
    for (int i = 0; i < 5; ++i) {
        list.push_back(i);
    }
    EXPECT_EQ(list.capacity(), 8u);
}
