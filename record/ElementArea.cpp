#include "record/ElementArea.h"

#include <cstring>
#include <memory>
#include <new>

// Layout of the block: the header, the element facts, then the bytes.
ElementArea::ElementArea(std::span<const std::uint8_t> capturedBytes, std::uint32_t declaredLength,
                         std::span<const ElementFact> elements) {
    const Header header{declaredLength, static_cast<std::uint32_t>(capturedBytes.size()),
                        static_cast<std::uint32_t>(elements.size())};
    const std::size_t factsSize = elements.size() * sizeof(ElementFact);
    block_ = std::make_unique_for_overwrite<std::uint8_t[]>(sizeof(Header) + factsSize +
                                                            capturedBytes.size());
    // Objects of their own types are made in the block, so reading them back is defined.
    new (block_.get()) Header(header);
    std::uninitialized_copy(elements.begin(), elements.end(),
                            reinterpret_cast<ElementFact*>(block_.get() + sizeof(Header)));
    if (!capturedBytes.empty()) {
        std::memcpy(block_.get() + sizeof(Header) + factsSize, capturedBytes.data(),
                    capturedBytes.size());
    }
}

const ElementArea::Header& ElementArea::header() const {
    return *std::launder(reinterpret_cast<const Header*>(block_.get()));
}

std::span<const ElementFact> ElementArea::elements() const {
    if (empty()) {
        return {};
    }
    return {std::launder(reinterpret_cast<const ElementFact*>(block_.get() + sizeof(Header))),
            header().elementCount};
}

std::span<const std::uint8_t> ElementArea::bytes() const {
    if (empty()) {
        return {};
    }
    return {block_.get() + sizeof(Header) + header().elementCount * sizeof(ElementFact),
            header().byteCount};
}

std::uint32_t ElementArea::declaredLength() const {
    return empty() ? 0 : header().declaredLength;
}

std::optional<std::span<const std::uint8_t>> ElementArea::value(std::uint8_t id) const {
    const auto all = bytes();
    for (const ElementFact& fact : elements()) {
        const std::size_t start = fact.offset + 2u;
        if (fact.identifierCaptured && fact.lengthCaptured && fact.identifier == id &&
            start <= all.size() && fact.length <= all.size() - start) {
            return all.subspan(start, fact.length);
        }
    }
    return std::nullopt;
}

std::size_t ElementArea::heldBytes() const {
    return empty()
               ? 0
               : sizeof(Header) + header().elementCount * sizeof(ElementFact) + header().byteCount;
}
