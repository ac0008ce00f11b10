#pragma once

#include "common/PositionIterator.h"

#include <cstddef>
#include <vector>

// A list that grows without moving what it holds, for lists that grow with
// a call or a stream as frames arrive. A full vector moves everything it
// holds to room twice its size in one append: at millions of entries that
// is megabytes copied and fresh pages touched at once, a stall of several
// milliseconds on the thread that follows the calls, and many such lists
// grow in step. Here the first chunk grows as a vector does, so that short
// lists stay small, up to `ChunkSize` entries; after that the list adds
// chunks of that size, and an append touches at most one fresh chunk.
template <class T, std::size_t ChunkSize = 16384> class ChunkedList {
    static_assert(ChunkSize > 0 && (ChunkSize & (ChunkSize - 1)) == 0,
                  "a chunk's size is a power of two");

public:
    using value_type = T;
    using const_iterator = PositionIterator<const ChunkedList, const T>;

    void push_back(const T& value) {
        if (chunks_.empty() || chunks_.back().size() == ChunkSize) {
            chunks_.emplace_back();
            if (chunks_.size() > 1) {
                chunks_.back().reserve(ChunkSize);
            }
        }
        chunks_.back().push_back(value);
        ++size_;
    }
    // Room for `count` entries, as far as the first chunk goes.
    void reserve(std::size_t count) {
        if (chunks_.size() <= 1) {
            if (chunks_.empty()) {
                chunks_.emplace_back();
            }
            chunks_.front().reserve(count < ChunkSize ? count : ChunkSize);
        }
    }

    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::size_t capacity() const {
        return chunks_.empty() ? 0 : chunks_.front().capacity() + (chunks_.size() - 1) * ChunkSize;
    }
    const T& operator[](std::size_t index) const {
        return chunks_[index / ChunkSize][index % ChunkSize];
    }
    T& operator[](std::size_t index) { return chunks_[index / ChunkSize][index % ChunkSize]; }
    [[nodiscard]] const T& front() const { return chunks_.front().front(); }
    [[nodiscard]] const T& back() const { return chunks_.back().back(); }
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, size_}; }

private:
    std::vector<std::vector<T>> chunks_;
    std::size_t size_ = 0;
};
