#pragma once

#include <cstddef>
#include <iterator>
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
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        const_iterator() = default;
        const_iterator(const ChunkedList* list, std::size_t index) : list_(list), index_(index) {}

        reference operator*() const { return (*list_)[index_]; }
        pointer operator->() const { return &(*list_)[index_]; }
        reference operator[](difference_type offset) const { return *(*this + offset); }
        const_iterator& operator++() { return *this += 1; }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        const_iterator& operator--() { return *this -= 1; }
        const_iterator operator--(int) {
            const_iterator before = *this;
            --*this;
            return before;
        }
        const_iterator& operator+=(difference_type offset) {
            index_ = static_cast<std::size_t>(static_cast<difference_type>(index_) + offset);
            return *this;
        }
        const_iterator& operator-=(difference_type offset) { return *this += -offset; }
        friend const_iterator operator+(const_iterator at, difference_type offset) {
            return at += offset;
        }
        friend const_iterator operator+(difference_type offset, const_iterator at) {
            return at += offset;
        }
        friend const_iterator operator-(const_iterator at, difference_type offset) {
            return at -= offset;
        }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.index_) - static_cast<difference_type>(b.index_);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.index_ == b.index_;
        }
        friend bool operator!=(const const_iterator& a, const const_iterator& b) {
            return a.index_ != b.index_;
        }
        friend bool operator<(const const_iterator& a, const const_iterator& b) {
            return a.index_ < b.index_;
        }
        friend bool operator>(const const_iterator& a, const const_iterator& b) { return b < a; }
        friend bool operator<=(const const_iterator& a, const const_iterator& b) {
            return !(b < a);
        }
        friend bool operator>=(const const_iterator& a, const const_iterator& b) {
            return !(a < b);
        }

    private:
        const ChunkedList* list_ = nullptr;
        std::size_t index_ = 0;
    };

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
