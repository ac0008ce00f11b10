// libFuzzer target: the frames of an encrypted call, as any bytes. A NEW and
// an AUTHREQ in clear make the call encrypted; then the input is a key (16
// bytes) and datagrams, each a length byte and that many bytes, sent by
// either end in turn. Each is opened with the secrets, read back with the
// key, and sealed and opened again, so that a read past a frame, a padding
// length that overruns, or a rotation of a key that was never set shows up.
#include "decrypt/FrameDecryption.h"
#include "dissect/IaxDissector.h"
#include "fuzz/Discarding.h"
#include "record/IaxNumbers.h"
#include "samples/IaxPacketBuilder.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

namespace {

const iaxgen::Endpoint caller{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint callee{{10, 0, 0, 2}, 4569};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostream& discard = discarding::stream();
    static const IaxDissector dissector(discard, [] { return 0u; });
    if (size < 16 || size > 8192) {
        return -1;
    }
    iaxcrypto::AesKey key{};
    std::copy(data, data + 16, key.begin());
    FrameDecryption decryption({"secret", "other"}, std::make_shared<OpenedPackets>());
    std::uint32_t index = 0;
    const auto decode = [&](const iaxgen::Endpoint& from, const iaxgen::Endpoint& to,
                            const std::vector<std::uint8_t>& payload) {
        const auto packet = iaxgen::udpPacket(from, to, payload);
        KvIAXFrame frame;
        dissector.decodeInto({.bytes = packet, .index = index++}, frame, &decryption);
        std::vector<std::uint8_t> clear;
        FrameDecryption::reopen(packet, 1, key, clear);
    };
    decode(caller, callee,
           iaxgen::fullFrame({.sourceCall = 1, .frameType = iax::IaxControl, .subclass = iax::New},
                             iaxgen::Elements().u16(iax::Encryption, iax::aes128).bytes()));
    decode(callee, caller,
           iaxgen::fullFrame({.sourceCall = 2,
                              .destinationCall = 1,
                              .frameType = iax::IaxControl,
                              .subclass = iax::AuthRequest},
                             iaxgen::Elements()
                                 .text(iax::Challenge, "1234")
                                 .u16(iax::Encryption, iax::aes128)
                                 .bytes()));
    bool fromCaller = true;
    for (std::size_t at = 16; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        std::vector<std::uint8_t> payload(data + at + 1, data + at + 1 + length);
        at += 1 + length;
        decode(fromCaller ? caller : callee, fromCaller ? callee : caller, payload);
        // What the peers would send: the same bytes sealed with the key.
        if (!payload.empty()) {
            std::array<std::uint8_t, 16> padding{};
            std::copy(key.begin(), key.end(), padding.begin());
            decode(fromCaller ? caller : callee, fromCaller ? callee : caller,
                   FrameDecryption::seal(payload, key, padding));
        }
        fromCaller = !fromCaller;
    }
    return 0;
}
