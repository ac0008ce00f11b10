#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// One information element as the walk over an IAX control frame found it.
struct ElementFact {
    std::uint16_t offset = 0;    // of its identifier byte, within the element area
    std::uint8_t identifier = 0; // valid where identifierCaptured
    std::uint8_t length = 0;     // the declared value length; valid where lengthCaptured
    bool identifierCaptured = false;
    bool lengthCaptured = false;
};

// The information elements of one IAX control frame: the element bytes that
// were captured (up to the length the UDP header declares), that declared
// length, and where each element lies. Values are read from the bytes when
// they are shown. Control frames are few and small, so keeping their bytes
// costs little; everything is in one allocation.
class ElementArea final {
public:
    ElementArea() = default;
    ElementArea(std::span<const std::uint8_t> capturedBytes, std::uint32_t declaredLength,
                std::span<const ElementFact> elements);
    ElementArea(ElementArea&&) noexcept = default;
    ElementArea& operator=(ElementArea&&) noexcept = default;

    [[nodiscard]] bool empty() const { return block_ == nullptr; }
    [[nodiscard]] std::span<const ElementFact> elements() const;
    [[nodiscard]] std::span<const std::uint8_t> bytes() const;
    [[nodiscard]] std::uint32_t declaredLength() const;
    // The value bytes of the first element `id` whose value was captured
    // whole; nothing where there is none. The one reader of a value by id.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> value(std::uint8_t id) const;
    // The bytes the area holds in memory.
    [[nodiscard]] std::size_t heldBytes() const;

private:
    struct Header {
        std::uint32_t declaredLength;
        std::uint32_t byteCount;
        std::uint32_t elementCount;
    };
    [[nodiscard]] const Header& header() const;

    std::unique_ptr<std::uint8_t[]> block_;
};
