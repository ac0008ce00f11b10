#include "record/FrameFacts.h"

#include "record/IaxNumbers.h"

std::uint32_t FrameFacts::codecMask() const {
    if (!isFullFrameOfType(iax::Voice)) {
        return 0;
    }
    const unsigned low = subclass & 0x7Fu;
    if ((subclass & 0x80) != 0) {
        return low < 32 ? std::uint32_t{1} << low : 0; // a bit number
    }
    return low != 0 && (low & (low - 1)) == 0 ? low : 0; // a mask with one bit set
}
