#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace framedisplay {

// Text element bytes as UTF-8: one character per byte, 0x80 to 0xFF as Latin-1.
[[nodiscard]] std::string latin1ToUtf8(std::span<const std::uint8_t> bytes);

} // namespace framedisplay
