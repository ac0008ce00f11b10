#include "samples/EncryptedCalls.h"

#include "decrypt/AesCbc.h"
#include "decrypt/FrameDecryption.h"
#include "record/IaxNumbers.h"
#include "samples/IaxPacketBuilder.h"
#include "samples/ToneCalls.h"

#include <array>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace scenarios {

namespace {

constexpr std::size_t payloadStart = 14 + 20 + 8; // Ethernet, IPv4, UDP
constexpr std::uint8_t authMethods = 14;
constexpr std::uint16_t md5Method = 2;

struct Side {
    iaxcrypto::AesKey key{};
    int voiceFrames = 0;
    bool rotated = false;
};

// One call's state: who called, and the keys each end encrypts with.
struct CallState {
    iaxgen::Endpoint caller{}, callee{};
    std::uint16_t callerCall = 0, calleeCall = 0;
    bool encrypting = false;
    std::int64_t offeredAt = 0;
    std::array<Side, 2> sides; // the caller's, the callee's
};

// A sender: its address, port and call number.
using SenderKey = std::tuple<std::array<std::uint8_t, 4>, std::uint16_t, std::uint16_t>;

class EncryptingSink {
public:
    EncryptingSink(PacketSink sink, Encryption encryption)
        : sink_(std::move(sink)), encryption_(std::move(encryption)), random_(encryption_.seed),
          keys_(encryption_.seed + 1) {}

    void operator()(const iaxgen::Bytes& packet, std::int64_t us) {
        if (packet.size() < payloadStart + 4) {
            sink_(packet, us);
            return;
        }
        const iaxgen::Endpoint from{{packet[26], packet[27], packet[28], packet[29]},
                                    static_cast<std::uint16_t>(packet[34] << 8 | packet[35])};
        const iaxgen::Endpoint to{{packet[30], packet[31], packet[32], packet[33]},
                                  static_cast<std::uint16_t>(packet[36] << 8 | packet[37])};
        const iaxgen::Bytes payload(packet.begin() + payloadStart, packet.end());
        const bool full = (payload[0] & 0x80u) != 0;
        const auto source = static_cast<std::uint16_t>((payload[0] & 0x7F) << 8 | payload[1]);
        const auto destination = static_cast<std::uint16_t>((payload[2] & 0x7F) << 8 | payload[3]);
        if (full && payload.size() >= 12 && payload[10] == iax::IaxControl &&
            payload[11] == iax::New) {
            offer(from, to, source, payload, us);
            return;
        }
        auto found = senders_.find({from.address, from.port, source});
        if (found == senders_.end() && full) {
            // The callee's first frame names its call number: the AUTHREQ
            // and the AUTHREP go before it.
            const auto answered = pending_.find({from.address, from.port, destination});
            if (answered != pending_.end()) {
                const std::size_t index = answered->second;
                pending_.erase(answered);
                authenticate(calls_[index], source);
                found =
                    senders_
                        .emplace(SenderKey{from.address, from.port, source}, std::pair{index, 1})
                        .first;
            }
        }
        if (found == senders_.end()) {
            sink_(packet, us);
            return;
        }
        CallState& call = calls_[found->second.first];
        const int side = found->second.second;
        send(call, side, payload, us);
        const bool voice = !full || (payload.size() >= 12 && payload[10] == iax::Voice);
        Side& mine = call.sides[static_cast<std::size_t>(side)];
        if (voice && !mine.rotated && encryption_.rotateAfter > 0 &&
            ++mine.voiceFrames >= encryption_.rotateAfter) {
            rotate(call, side, us + 1);
        }
    }

private:
    iaxgen::Bytes control(const CallState& call, int side, std::uint32_t timestamp,
                          std::uint8_t subclass, const iaxgen::Elements& elements) const {
        return iaxgen::fullFrame({.sourceCall = side == 0 ? call.callerCall : call.calleeCall,
                                  .destinationCall = side == 0 ? call.calleeCall : call.callerCall,
                                  .timestamp = timestamp,
                                  .frameType = iax::IaxControl,
                                  .subclass = subclass},
                                 elements.bytes());
    }

    // The NEW offers AES-128; the callee's answer is awaited.
    void offer(const iaxgen::Endpoint& from, const iaxgen::Endpoint& to, std::uint16_t source,
               const iaxgen::Bytes& newFrame, std::int64_t us) {
        iaxgen::Bytes offered = newFrame;
        const iaxgen::Elements element = iaxgen::Elements().u16(iax::Encryption, iax::aes128);
        offered.insert(offered.end(), element.bytes().begin(), element.bytes().end());
        sink_(iaxgen::udpPacket(from, to, offered), us);
        CallState call;
        call.caller = from;
        call.callee = to;
        call.callerCall = source;
        call.offeredAt = us;
        calls_.push_back(call);
        pending_[{to.address, to.port, source}] = calls_.size() - 1;
    }

    void authenticate(CallState& call, std::uint16_t calleeCall) {
        call.calleeCall = calleeCall;
        const std::int64_t at = call.offeredAt + 1000;
        sink_(iaxgen::udpPacket(call.callee, call.caller,
                                control(call, 1, 1, iax::AuthRequest,
                                        iaxgen::Elements()
                                            .u16(authMethods, md5Method)
                                            .text(iax::Challenge, encryption_.challenge)
                                            .u16(iax::Encryption, iax::aes128))),
              at);
        const iaxcrypto::AesKey key =
            iaxcrypto::keyFromChallenge(encryption_.challenge, encryption_.secret);
        call.sides[0].key = key;
        call.sides[1].key = key;
        call.encrypting = true;
        senders_[{call.caller.address, call.caller.port, call.callerCall}] = {
            static_cast<std::size_t>(&call - calls_.data()), 0};
        send(call, 0,
             control(call, 0, 2, iax::AuthReply, iaxgen::Elements().text(iax::Md5Result, hex(key))),
             at + 1000);
    }

    static std::string hex(const iaxcrypto::AesKey& digest) {
        static constexpr char digits[] = "0123456789abcdef";
        std::string text;
        for (const std::uint8_t byte : digest) {
            text += digits[byte >> 4];
            text += digits[byte & 0x0F];
        }
        return text;
    }

    void send(const CallState& call, int side, const iaxgen::Bytes& payload, std::int64_t us) {
        const auto& from = side == 0 ? call.caller : call.callee;
        const auto& to = side == 0 ? call.callee : call.caller;
        if (!encryption_.encrypt) {
            sink_(iaxgen::udpPacket(from, to, payload), us);
            return;
        }
        std::array<std::uint8_t, 16> padding{};
        for (auto& byte : padding) {
            byte = static_cast<std::uint8_t>(random_());
        }
        sink_(iaxgen::udpPacket(
                  from, to,
                  FrameDecryption::seal(payload, call.sides[static_cast<std::size_t>(side)].key,
                                        padding)),
              us);
    }

    void rotate(CallState& call, int side, std::int64_t us) {
        iaxcrypto::AesKey next{};
        for (auto& byte : next) {
            byte = static_cast<std::uint8_t>(keys_());
        }
        send(call, side,
             control(call, side, 1000 + static_cast<std::uint32_t>(side), iax::RotateKey,
                     iaxgen::Elements().raw(iax::EncryptionKey, next)),
             us);
        Side& mine = call.sides[static_cast<std::size_t>(side)];
        mine.key = next;
        mine.rotated = true;
    }

    PacketSink sink_;
    Encryption encryption_;
    std::mt19937 random_; // the padding
    std::mt19937 keys_;   // the rotated keys, the same whether encrypted or not
    std::vector<CallState> calls_;
    std::map<SenderKey, std::pair<std::size_t, int>> senders_; // call, side
    std::map<SenderKey, std::size_t> pending_; // the callee awaited, with the caller's number
};

} // namespace

PacketSink encryptingSink(const PacketSink& sink, const Encryption& encryption) {
    auto encrypting = std::make_shared<EncryptingSink>(sink, encryption);
    return
        [encrypting](const iaxgen::Bytes& packet, std::int64_t us) { (*encrypting)(packet, us); };
}

void encryptedToneCall(const PacketSink& sink, const Encryption& encryption, double seconds) {
    longToneCall(encryptingSink(sink, encryption), seconds);
}

} // namespace scenarios
