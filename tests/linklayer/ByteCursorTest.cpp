#include "linklayer/ByteCursor.h"

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

TEST(ByteCursor, ReadsAtTheLastValidOffsetAndNothingPastIt) {
    const ByteVector bytes = bytesOf({0x01, 0x02, 0x03, 0x04, 0x05});
    const ByteCursor cursor{bytes};

    EXPECT_EQ(cursor.u8(4), 0x05);
    EXPECT_FALSE(cursor.u8(5));
    EXPECT_EQ(cursor.be16(3), 0x0405);
    EXPECT_FALSE(cursor.be16(4));
    EXPECT_EQ(cursor.be32(1), 0x02030405u);
    EXPECT_FALSE(cursor.be32(2));
    EXPECT_TRUE(cursor.fixed<5>(0));
    EXPECT_FALSE(cursor.fixed<6>(0));
    // Offsets near the top of the range must not wrap around the check.
    EXPECT_FALSE(cursor.be32(static_cast<std::size_t>(-2)));
    EXPECT_FALSE(cursor.has(static_cast<std::size_t>(-1), 2));
}

TEST(ByteCursor, SubViewsAreClampedToTheParent) {
    const ByteVector bytes = bytesOf({1, 2, 3, 4, 5, 6});
    const ByteCursor cursor{bytes};

    EXPECT_EQ(cursor.sub(2).size(), 4u);
    EXPECT_EQ(cursor.sub(2, 3).size(), 3u);
    EXPECT_EQ(cursor.sub(2, 100).size(), 4u);
    EXPECT_EQ(cursor.sub(6).size(), 0u);
    EXPECT_EQ(cursor.sub(60).size(), 0u);
    EXPECT_EQ(cursor.sub(4).u8(1), 6);
    EXPECT_FALSE(cursor.sub(4).u8(2));
    EXPECT_FALSE(ByteCursor{}.u8(0));
}
