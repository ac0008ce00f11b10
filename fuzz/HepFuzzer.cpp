// libFuzzer target: HEP v3 messages, as any bytes, read one after another as
// on a TCP stream. What reads without an error is written again and must
// read back the same, so that a chunk read past its message, or a length
// written wrong, shows up.
#include "hep/HepMessage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> rest(data, size);
    while (!rest.empty()) {
        const hep::Read read = hep::decode(rest);
        if (read.error != hep::ReadError::None) {
            return 0;
        }
        std::vector<std::uint8_t> again;
        if (hep::encode(read.message, again)) {
            const hep::Read reread = hep::decode(again);
            if (reread.error != hep::ReadError::None || reread.length != again.size() ||
                reread.message.payload != read.message.payload ||
                reread.message.correlationId != read.message.correlationId ||
                !std::equal(read.message.source.begin(),
                            read.message.source.begin() + (read.message.ipv6 ? 16 : 4),
                            reread.message.source.begin())) {
                std::abort();
            }
        }
        rest = rest.subspan(read.length);
    }
    return 0;
}
