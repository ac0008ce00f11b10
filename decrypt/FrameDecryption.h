#pragma once

#include "decrypt/AesCbc.h"
#include "linklayer/ByteCursor.h"
#include "record/FrameFacts.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

// Which packets of a capture were opened with which key, so that their bytes
// can be read back in clear (voice for playback, the bytes pane). Written by
// the worker that decodes the capture, read by whoever reads packets back;
// a mutex guards it, since reads come while a load still runs.
class OpenedPackets final {
public:
    struct Entry {
        std::uint32_t packetIndex = 0;
        std::uint32_t keyIndex = 0;
        std::uint32_t capturedLength = 0; // of the packet as the file holds it
        std::uint16_t linkType = 0;
    };
    struct Found {
        iaxcrypto::AesKey key{};
        std::uint32_t keyIndex = 0;
        std::uint32_t capturedLength = 0;
        std::uint16_t linkType = 0;
    };

    // The number `key` is noted under (the same for the same key).
    std::uint32_t addKey(const iaxcrypto::AesKey& key);
    // Packets come in the order they were decoded, their indexes rising.
    void add(std::uint32_t packetIndex, std::uint32_t keyIndex, std::uint32_t capturedLength,
             std::uint16_t linkType);
    [[nodiscard]] std::optional<Found> find(std::uint32_t packetIndex) const;
    [[nodiscard]] std::size_t size() const;
    // Forgets every packet: a new run numbers its packets from 0 again.
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<iaxcrypto::AesKey> keys_;
    std::map<iaxcrypto::AesKey, std::uint32_t> keyIndex_;
    std::vector<Entry> entries_; // by packet index, as packets are decoded in order
};

// Follows the encrypted calls of one capture, packet by packet in capture
// order, and opens their frames with the secrets it was given.
//
// A call is encrypted once the callee's AUTHREQ (in clear) offers AES-128 in
// its ENCRYPTION element; its CHALLENGE then gives the key, MD5(challenge ‖
// secret), for the one secret whose key opens a frame of the call into a
// well-formed IAX control frame. From then on every frame of the call is
// encrypted: a full frame's first 4 bytes and a mini frame's first 2 stay in
// clear, the rest is 16 + n bytes of padding (n: the low nibble of the
// padding's byte 15) and the frame, in AES-128-CBC with a zero IV. An RTKEY
// replaces the key of the frames its sender sends after it.
class FrameDecryption final {
public:
    explicit FrameDecryption(std::vector<std::string> secrets,
                             std::shared_ptr<OpenedPackets> opened = nullptr);
    ~FrameDecryption();
    FrameDecryption(const FrameDecryption&) = delete;
    FrameDecryption& operator=(const FrameDecryption&) = delete;

    struct Result {
        Encryption state = Encryption::Clear;
        std::span<const std::uint8_t> plaintext; // where Opened: the clear payload
        std::size_t removed = 0;                 // the padding bytes it no longer has
    };
    // Looks at one IAX2 full or mini frame. `facts` holds the packet's
    // addresses, ports, index and lengths; `payload` the captured payload;
    // `declaredLength` the payload length UDP declares. The plaintext stays
    // valid until the next call.
    Result open(const FrameFacts& facts, const std::optional<Ipv6Addresses>& ipv6,
                const ByteCursor& payload, long declaredLength);

    // Rebuilds a packet that `key` opened as its clear form: the headers
    // before the payload, then the clear payload. False where it does not
    // open. For reading a packet back.
    static bool reopen(std::span<const std::uint8_t> packet, std::uint16_t linkType,
                       const iaxcrypto::AesKey& key, std::vector<std::uint8_t>& clear);
    // The same with a decrypting cipher of the key, kept by a caller that
    // reads many packets back.
    static bool reopen(std::span<const std::uint8_t> packet, std::uint16_t linkType,
                       iaxcrypto::AesCbc& cipher, std::vector<std::uint8_t>& clear);

    // Encrypts a frame as a peer does (for generated captures): `padding`
    // bytes of which byte 15's low nibble is set to give whole blocks.
    static std::vector<std::uint8_t> seal(std::span<const std::uint8_t> frame,
                                          const iaxcrypto::AesKey& key,
                                          std::span<const std::uint8_t, 16> padding);

private:
    struct Call;
    struct Sender {
        std::array<std::uint8_t, 16> address{};
        std::uint16_t port = 0;
        std::uint16_t call = 0;
        friend bool operator==(const Sender&, const Sender&) = default;
    };
    struct SenderHash {
        std::size_t operator()(const Sender& s) const;
    };
    struct KeyHash {
        std::size_t operator()(const iaxcrypto::AesKey& key) const;
    };
    struct Place {
        std::size_t call;
        int side; // 0: the caller, 1: the callee
    };

    Result openFull(const FrameFacts& facts, const Sender& sender, const Sender& receiver,
                    const ByteCursor& payload, std::size_t declared);
    Result openMini(const FrameFacts& facts, const Sender& sender, const ByteCursor& payload,
                    std::size_t declared);
    // A known call's frame that is encrypted; `full` tells how it is checked.
    Result openWithKeys(const FrameFacts& facts, Call& call, int side, const ByteCursor& payload,
                        std::size_t declared, bool full);
    void learnClear(const Sender& sender, const Sender& receiver, const ByteCursor& payload,
                    std::size_t declared, std::optional<Place> place);
    void remember(const FrameFacts& facts, const iaxcrypto::AesKey& key);

    std::vector<std::string> secrets_;
    std::shared_ptr<OpenedPackets> opened_;
    std::vector<std::unique_ptr<Call>> calls_;
    std::unordered_map<Sender, Place, SenderHash> senders_;
    std::vector<std::uint8_t> decrypted_, plaintext_;
    // The keys already noted in opened_, by the number they are noted under.
    std::unordered_map<iaxcrypto::AesKey, std::uint32_t, KeyHash> notedKeys_;
};
