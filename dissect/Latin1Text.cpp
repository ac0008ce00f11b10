#include "dissect/Latin1Text.h"

namespace framedisplay {

std::string latin1ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::uint8_t byte : bytes) {
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

} // namespace framedisplay
