#include "decrypt/AesCbc.h"
#include "decrypt/FrameDecryption.h"
#include "dissect/IaxDissector.h"
#include "record/IaxNumbers.h"
#include "samples/IaxPacketBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

const iaxgen::Endpoint caller{{10, 0, 0, 1}, 4569};
const iaxgen::Endpoint callee{{10, 0, 0, 2}, 4569};
constexpr const char* challenge = "271828";
constexpr const char* secret = "right";

// One packet as the peers sent it, and the clear packet it holds.
struct Sent {
    iaxgen::Bytes wire, clear;
    bool encrypted = false;
};

// A call between two peers that encrypt it: NEW and AUTHREQ in clear, then
// everything else sealed with each end's key of the moment.
class EncryptedCall {
public:
    EncryptedCall() {
        keys_[0] = keys_[1] = iaxcrypto::keyFromChallenge(challenge, secret);
        clear(true, iax::New, iaxgen::Elements().text(1, "200").u16(iax::Encryption, 1));
        clear(
            false, iax::AuthRequest,
            iaxgen::Elements().u16(14, 2).text(iax::Challenge, challenge).u16(iax::Encryption, 1));
        full(true, iax::IaxControl, iax::AuthReply,
             iaxgen::Elements().text(iax::Md5Result, "0123456789abcdef0123456789abcdef"));
        full(false, iax::IaxControl, iax::Accept, iaxgen::Elements().u32(9, 4));
    }
    void clear(bool fromCaller, std::uint8_t subclass, const iaxgen::Elements& elements) {
        const auto payload = header(fromCaller, iax::IaxControl, subclass, elements.bytes());
        const auto packet = udp(fromCaller, payload);
        sent.push_back({packet, packet, false});
    }
    void full(bool fromCaller, std::uint8_t type, std::uint8_t subclass,
              const iaxgen::Elements& elements = {}) {
        seal(fromCaller, header(fromCaller, type, subclass, elements.bytes()));
    }
    void mini(bool fromCaller, std::size_t voiceBytes = 160) {
        seal(fromCaller,
             iaxgen::miniFrame(fromCaller ? 1 : 2, ++timestamp_, iaxgen::Bytes(voiceBytes, 0x55)));
    }
    void rotate(bool fromCaller, std::uint8_t fill) {
        iaxcrypto::AesKey next{};
        next.fill(fill);
        full(fromCaller, iax::IaxControl, iax::RotateKey,
             iaxgen::Elements().raw(iax::EncryptionKey, next));
        keys_[fromCaller ? 0 : 1] = next;
    }

    std::vector<Sent> sent;

private:
    iaxgen::Bytes header(bool fromCaller, std::uint8_t type, std::uint8_t subclass,
                         const iaxgen::Bytes& body) {
        return iaxgen::fullFrame({.sourceCall = static_cast<std::uint16_t>(fromCaller ? 1 : 2),
                                  .destinationCall = static_cast<std::uint16_t>(
                                      fromCaller ? (subclass == iax::New ? 0 : 2) : 1),
                                  .timestamp = ++timestamp_,
                                  .outSequence = sequence_++,
                                  .frameType = type,
                                  .subclass = subclass},
                                 body);
    }
    static iaxgen::Bytes udp(bool fromCaller, const iaxgen::Bytes& payload) {
        return iaxgen::udpPacket(fromCaller ? caller : callee, fromCaller ? callee : caller,
                                 payload);
    }
    void seal(bool fromCaller, const iaxgen::Bytes& payload) {
        std::array<std::uint8_t, 16> padding{};
        padding.fill(static_cast<std::uint8_t>(0xA0 + sent.size()));
        sent.push_back(
            {udp(fromCaller, FrameDecryption::seal(payload, keys_[fromCaller ? 0 : 1], padding)),
             udp(fromCaller, payload), true});
    }

    std::array<iaxcrypto::AesKey, 2> keys_;
    std::uint32_t timestamp_ = 0;
    std::uint8_t sequence_ = 0;
};

struct Decoded {
    std::vector<Encryption> states;
    std::vector<FrameFacts> facts;
};

Decoded decodeAll(const std::vector<Sent>& sent, const std::vector<std::string>& secrets,
                  std::shared_ptr<OpenedPackets> opened = nullptr, std::size_t cutTo = 0) {
    std::ostringstream dump;
    const IaxDissector dissector(dump, [] { return 0u; });
    FrameDecryption decryption(secrets, std::move(opened));
    Decoded decoded;
    std::uint32_t index = 0;
    for (const Sent& packet : sent) {
        const std::span<const std::uint8_t> bytes(packet.wire);
        const bool cut = cutTo != 0 && index == sent.size() - 1;
        KvIAXFrame frame;
        dissector.decodeInto({.bytes = cut ? bytes.first(cutTo) : bytes,
                              .wireLength = static_cast<std::uint32_t>(bytes.size()),
                              .index = index++},
                             frame, &decryption);
        decoded.states.push_back(frame.facts().encryption());
        decoded.facts.push_back(frame.facts());
    }
    return decoded;
}

FrameFacts clearFacts(const Sent& sent) {
    std::ostringstream dump;
    const IaxDissector dissector(dump, [] { return 0u; });
    KvIAXFrame frame;
    dissector.decodeInto({.bytes = sent.clear}, frame);
    return frame.facts();
}

// The facts a clear frame and an opened one must share: all of them but
// where the packet came from.
void expectSameFrame(FrameFacts opened, FrameFacts clear, std::size_t index) {
    opened.packetIndex = clear.packetIndex = 0;
    opened.setEncryption(Encryption::Clear);
    EXPECT_EQ(std::memcmp(&opened, &clear, sizeof opened), 0) << "frame " << index + 1;
}

} // namespace

TEST(Decryption, OpensACallWithTheRightSecretAmongWrongOnesAndFollowsEachKeyRotation) {
    EncryptedCall call;
    for (int i = 0; i < 3; ++i) {
        call.mini(true);
        call.mini(false);
    }
    call.rotate(true, 0x11);
    call.sent.push_back(call.sent.back()); // the RTKEY again: a retransmission
    call.sent.push_back(call.sent[4]);     // a frame sent with the key before, late
    call.mini(true);
    call.mini(false); // still the first key
    call.rotate(false, 0x22);
    call.mini(false);
    call.full(true, iax::Voice, 4, iaxgen::Elements().raw(0, iaxgen::Bytes(20, 1)));
    call.mini(true, 1);  // 3 bytes after the clear part: the padding nibble is 13
    call.mini(true, 15); // 17: it is 15
    call.full(true, iax::IaxControl, iax::Hangup, iaxgen::Elements().u8(iax::CauseCode, 16));

    struct Case {
        const char* name;
        std::vector<std::string> secrets;
        Encryption encrypted; // what every encrypted frame becomes
    };
    const Case cases[] = {
        {"the right secret alone", {secret}, Encryption::Opened},
        {"after wrong ones", {"wrong", "also", "right"}, Encryption::Opened},
        {"wrong secrets only", {"wrong", "also wrong"}, Encryption::NoKey},
        {"no secret", {}, Encryption::NoKey},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto opened = std::make_shared<OpenedPackets>();
        const Decoded decoded = decodeAll(call.sent, c.secrets, opened);
        std::size_t encrypted = 0;
        for (std::size_t i = 0; i < call.sent.size(); ++i) {
            const Sent& sent = call.sent[i];
            encrypted += sent.encrypted ? 1 : 0;
            EXPECT_EQ(decoded.states[i], sent.encrypted ? c.encrypted : Encryption::Clear)
                << "frame " << i + 1;
            if (decoded.states[i] == Encryption::Opened || !sent.encrypted) {
                expectSameFrame(decoded.facts[i], clearFacts(sent), i);
            }
            // Read back, an opened packet is the clear one, its IP and UDP
            // lengths and IPv4 checksum included.
            if (const auto found = opened->find(static_cast<std::uint32_t>(i))) {
                std::vector<std::uint8_t> reopened;
                ASSERT_TRUE(FrameDecryption::reopen(sent.wire, 1, found->key, reopened));
                EXPECT_EQ(reopened, sent.clear) << "frame " << i + 1;
                EXPECT_EQ(found->capturedLength, sent.wire.size());
            }
        }
        EXPECT_EQ(opened->size(), c.encrypted == Encryption::Opened ? encrypted : 0u);
    }
}

TEST(Decryption, SaysWhyAFrameStaysEncrypted) {
    // The AUTHREQ was not captured: nothing gives the key.
    EncryptedCall call;
    call.mini(true);
    call.full(false, iax::IaxControl, iax::Hangup,
              iaxgen::Elements().text(iax::CauseText, "Normal Clearing").u8(iax::CauseCode, 16));
    std::vector<Sent> withoutChallenge = call.sent;
    withoutChallenge.erase(withoutChallenge.begin() + 1);
    const Decoded missing = decodeAll(withoutChallenge, {secret});
    EXPECT_EQ(missing.states[0], Encryption::Clear);
    for (std::size_t i = 1; i < missing.states.size(); ++i) {
        EXPECT_EQ(missing.states[i], Encryption::NoChallenge) << "frame " << i + 1;
    }

    // Cut by the capture: the whole blocks kept still open, and the record
    // says that the rest was not captured.
    const std::size_t last = call.sent.size() - 1;
    const std::size_t cutTo = call.sent[last].wire.size() - 8;
    const Decoded cut = decodeAll(call.sent, {secret}, nullptr, cutTo);
    EXPECT_EQ(cut.states[last], Encryption::Opened);
    EXPECT_EQ(cut.facts[last].kind(), FrameKind::Full);
    EXPECT_EQ(cut.facts[last].subclass, iax::Hangup);
    EXPECT_LT(cut.facts[last].capturedLength, cut.facts[last].wireLength);
}

// A wrong key that happens to give the AUTHREP a defined frame type is
// still refused: its elements do not fill the frame.
TEST(Decryption, AWrongKeyGivingAPlausibleTypeIsRefusedByTheElementCheck) {
    EncryptedCall call;
    const iaxgen::Bytes& authReply = call.sent[2].wire;
    const std::span<const std::uint8_t> sealed =
        std::span<const std::uint8_t>(authReply).subspan(14 + 20 + 8 + 4);
    std::string plausible;
    for (int n = 0; n < 1'000'000 && plausible.empty(); ++n) {
        const std::string guess = "wrong-" + std::to_string(n);
        iaxcrypto::AesCbc cipher(iaxcrypto::keyFromChallenge(challenge, guess),
                                 iaxcrypto::AesCbc::Direction::Decrypt);
        std::vector<std::uint8_t> plain;
        ASSERT_TRUE(cipher.run(sealed, plain));
        const std::size_t padding = 16 + (plain[15] & 0x0F);
        // Byte 10 of the frame is its type: byte 6 of what follows the clear 4.
        if (padding + 8 <= plain.size() && plain[padding + 6] == iax::IaxControl) {
            plausible = guess;
        }
    }
    ASSERT_FALSE(plausible.empty());
    const Decoded decoded = decodeAll(call.sent, {plausible});
    EXPECT_EQ(decoded.states[2], Encryption::NoKey);
    EXPECT_EQ(decoded.states[3], Encryption::NoKey);
}
