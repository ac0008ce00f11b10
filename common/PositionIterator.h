#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>

// A random-access iterator over a list read by position (`list[position]`),
// for lists whose storage is not one array (kept in chunks, say). `List` is
// const for a const iterator, and `Value` then too.
template <class List, class Value> class PositionIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::remove_const_t<Value>;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;

    PositionIterator() = default;
    PositionIterator(List* list, std::size_t position) : list_(list), position_(position) {}
    // A list's iterator is also its const iterator.
    operator PositionIterator<const List, const Value>() const requires(!std::is_const_v<List>) {
        return {list_, position_};
    }

    reference operator*() const { return (*list_)[position_]; }
    pointer operator->() const { return &(*list_)[position_]; }
    reference operator[](difference_type offset) const { return *(*this + offset); }
    PositionIterator& operator++() { return *this += 1; }
    PositionIterator operator++(int) {
        PositionIterator before = *this;
        ++*this;
        return before;
    }
    PositionIterator& operator--() { return *this -= 1; }
    PositionIterator operator--(int) {
        PositionIterator before = *this;
        --*this;
        return before;
    }
    PositionIterator& operator+=(difference_type offset) {
        position_ = static_cast<std::size_t>(static_cast<difference_type>(position_) + offset);
        return *this;
    }
    PositionIterator& operator-=(difference_type offset) { return *this += -offset; }
    friend PositionIterator operator+(PositionIterator at, difference_type offset) {
        return at += offset;
    }
    friend PositionIterator operator+(difference_type offset, PositionIterator at) {
        return at += offset;
    }
    friend PositionIterator operator-(PositionIterator at, difference_type offset) {
        return at -= offset;
    }
    friend difference_type operator-(const PositionIterator& a, const PositionIterator& b) {
        return static_cast<difference_type>(a.position_) -
               static_cast<difference_type>(b.position_);
    }
    friend bool operator==(const PositionIterator& a, const PositionIterator& b) {
        return a.position_ == b.position_;
    }
    friend bool operator!=(const PositionIterator& a, const PositionIterator& b) {
        return a.position_ != b.position_;
    }
    friend bool operator<(const PositionIterator& a, const PositionIterator& b) {
        return a.position_ < b.position_;
    }
    friend bool operator>(const PositionIterator& a, const PositionIterator& b) { return b < a; }
    friend bool operator<=(const PositionIterator& a, const PositionIterator& b) {
        return !(b < a);
    }
    friend bool operator>=(const PositionIterator& a, const PositionIterator& b) {
        return !(a < b);
    }

private:
    List* list_ = nullptr;
    std::size_t position_ = 0;
};
