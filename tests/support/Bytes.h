#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

inline ByteVector bytesOf(std::initializer_list<int> values) {
    ByteVector out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

inline ByteVector operator+(ByteVector a, const ByteVector& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
