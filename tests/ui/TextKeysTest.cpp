#include "ui/FrameSortRun.h"

#include <gtest/gtest.h>

// Keys read back as appended, across pools and past a pool's size.
TEST(TextKeys, ReadBackAsAppendedAcrossPools) {
    std::vector<std::string> appended;
    for (int i = 0; i < 300'000; ++i) {
        appended.push_back(std::string(static_cast<std::size_t>(i % 23), 'a' + i % 26) +
                           std::to_string(i));
    }
    appended.insert(appended.begin() + 1000, std::string(3 << 20, 'z')); // three pools' worth
    appended.insert(appended.begin() + 1001, std::string());
    TextKeys keys;
    for (const std::string& text : appended) {
        keys.append(text);
    }
    for (std::size_t i = 0; i < appended.size(); ++i) {
        ASSERT_EQ(keys[i], appended[i]) << i;
    }
}
