#include "calls/FrameElements.h"

#include "dissect/FrameDisplay.h"

namespace calls {

std::optional<std::span<const std::uint8_t>> elementValue(const KvIAXFrame& frame,
                                                          std::uint8_t id) {
    return frame.elementArea().value(id);
}

std::optional<std::uint32_t> elementNumber(const KvIAXFrame& frame, std::uint8_t id,
                                           std::size_t width) {
    const auto value = elementValue(frame, id);
    if (!value || value->size() < width) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < width; ++i) {
        number = number << 8 | (*value)[i];
    }
    return number;
}

std::string elementText(const KvIAXFrame& frame, std::uint8_t id) {
    const auto value = elementValue(frame, id);
    return value ? framedisplay::latin1ToUtf8(*value) : std::string();
}

} // namespace calls
