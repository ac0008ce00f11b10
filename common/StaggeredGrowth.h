#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends to a list that grows with a call or a stream. A vector that is full
// moves to room twice its size; the lists of calls that grow in step (a
// capture of many concurrent calls) would all move in the same turn of the
// event loop, hundreds of megabytes at once at tens of millions of frames.
// Each list grows by its own factor instead, one of 64 between 1.5 and 2.5
// chosen by its `seed`, so that their moves are spread out.
template <class T>
void appendStaggered(std::vector<T>& list, const T& value, std::size_t seed) {
    if (list.size() == list.capacity() && list.size() >= 1024) {
        const std::size_t sixtyFourths = 96 + seed % 64; // 1.5 to 2.48
        list.reserve(list.size() / 64 * sixtyFourths);
    }
    list.push_back(value);
}
