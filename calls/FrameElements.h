#pragma once

#include "dissect/KvIAXFrame.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The values of an IAX control frame's information elements, as the calls
// and their signalling read them.
namespace calls {

// The value bytes of the first element `id`, where they were captured whole.
std::optional<std::span<const std::uint8_t>> elementValue(const KvIAXFrame& frame, std::uint8_t id);
// Its first `width` bytes as a big-endian number.
std::optional<std::uint32_t> elementNumber(const KvIAXFrame& frame, std::uint8_t id,
                                           std::size_t width);
// Its bytes as text (Latin-1 made UTF-8); empty where it is missing.
std::string elementText(const KvIAXFrame& frame, std::uint8_t id);

} // namespace calls
