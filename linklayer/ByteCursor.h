#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// A read-only view over captured packet bytes. Every read is checked against
// the end of the view: a read that would pass it yields nothing, so no decoder
// can touch memory beyond the captured length, whatever the packet claims.
class ByteCursor final {
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    [[nodiscard]] std::size_t size() const { return bytes_.size(); }
    [[nodiscard]] bool empty() const { return bytes_.empty(); }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return bytes_; }

    // True when `length` bytes starting at `offset` lie inside the view.
    [[nodiscard]] bool has(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }

    [[nodiscard]] std::optional<std::uint8_t> u8(std::size_t offset) const {
        if (!has(offset, 1)) {
            return std::nullopt;
        }
        return bytes_[offset];
    }

    // Network byte order, most significant byte first.
    [[nodiscard]] std::optional<std::uint16_t> be16(std::size_t offset) const {
        if (!has(offset, 2)) {
            return std::nullopt;
        }
        return static_cast<std::uint16_t>((bytes_[offset] << 8) | bytes_[offset + 1]);
    }

    [[nodiscard]] std::optional<std::uint32_t> be32(std::size_t offset) const {
        if (!has(offset, 4)) {
            return std::nullopt;
        }
        return (std::uint32_t{bytes_[offset]} << 24) | (std::uint32_t{bytes_[offset + 1]} << 16) |
               (std::uint32_t{bytes_[offset + 2]} << 8) | std::uint32_t{bytes_[offset + 3]};
    }

    // Exactly N bytes at `offset`, or nothing when they are not all there.
    template <std::size_t N>
    [[nodiscard]] std::optional<std::span<const std::uint8_t, N>> fixed(std::size_t offset) const {
        if (!has(offset, N)) {
            return std::nullopt;
        }
        return bytes_.subspan(offset).template first<N>();
    }

    // The bytes from `offset` on, at most `length` of them: a shorter view where
    // this one ends first, an empty one where `offset` is already past its end.
    [[nodiscard]] ByteCursor sub(std::size_t offset,
                                 std::size_t length = static_cast<std::size_t>(-1)) const {
        if (offset >= bytes_.size()) {
            return ByteCursor{};
        }
        const std::size_t available = bytes_.size() - offset;
        return ByteCursor{bytes_.subspan(offset, length < available ? length : available)};
    }

private:
    std::span<const std::uint8_t> bytes_;
};
