#include "decrypt/FrameDecryption.h"

#include "linklayer/PacketLayers.h"
#include "record/IaxNumbers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using iaxcrypto::AesCbc;
using iaxcrypto::AesKey;

namespace {

constexpr std::size_t fullHeaderLength = 12;
constexpr std::size_t fullClearLength = 4; // the two call numbers
constexpr std::size_t miniClearLength = 2; // the source call number
constexpr std::size_t udpHeaderLength = 8;

// The frame types RFC 5456 defines: DTMF to comfort noise.
bool isDefinedFrameType(std::uint8_t type) {
    return type >= 1 && type <= 10;
}

// Whether the elements of an IAX control frame's area fill it exactly, and
// how many there are.
struct ElementWalk {
    bool exact = false;
    std::size_t count = 0;
};

ElementWalk walkElements(std::span<const std::uint8_t> area) {
    ElementWalk walk;
    std::size_t at = 0;
    while (at < area.size()) {
        if (area.size() - at < 2 || area.size() - at - 2 < area[at + 1]) {
            return walk;
        }
        at += 2u + area[at + 1];
        ++walk.count;
    }
    walk.exact = true;
    return walk;
}

// The value of element `id` in an area whose elements fill it exactly.
std::optional<std::span<const std::uint8_t>> findElement(std::span<const std::uint8_t> area,
                                                         std::uint8_t id) {
    for (std::size_t at = 0; at + 2 <= area.size() && at + 2u + area[at + 1] <= area.size();
         at += 2u + area[at + 1]) {
        if (area[at] == id) {
            return area.subspan(at + 2, area[at + 1]);
        }
    }
    return std::nullopt;
}

// A full frame's header and, for an IAX control frame whose elements fill
// its area exactly, the area.
struct FullFrameView {
    std::uint8_t type = 0;
    std::uint8_t subclass = 0;
    bool headerThere = false;
    bool cut = false;         // the capture ended before the frame did
    bool exactArea = false;   // an IAX control frame whose elements fill its area
    std::size_t elements = 0; // how many, where exactArea
    std::span<const std::uint8_t> area;
};

FullFrameView viewFull(std::span<const std::uint8_t> frame, std::size_t declared) {
    FullFrameView view;
    if (frame.size() < fullHeaderLength || declared < fullHeaderLength) {
        return view;
    }
    view.headerThere = true;
    view.type = frame[10];
    view.subclass = frame[11];
    view.cut = frame.size() < declared;
    if (view.type == iax::IaxControl && !view.cut) {
        view.area = frame.subspan(fullHeaderLength, declared - fullHeaderLength);
        const ElementWalk walk = walkElements(view.area);
        view.exactArea = walk.exact;
        view.elements = walk.count;
    }
    return view;
}

// How far a frame opened with a key shows that the key is right.
enum class Check { Refused, Plausible, Certain };

Check checkFull(const FullFrameView& view) {
    if (!view.headerThere || !isDefinedFrameType(view.type)) {
        return Check::Refused;
    }
    if (view.type != iax::IaxControl || view.cut) {
        return Check::Plausible;
    }
    if (!view.exactArea) {
        return Check::Refused;
    }
    return view.elements > 0 ? Check::Certain : Check::Plausible;
}

std::optional<std::uint16_t> encryptionMethods(std::span<const std::uint8_t> area) {
    const auto value = findElement(area, iax::Encryption);
    if (!value || value->size() != 2) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>((*value)[0] << 8 | (*value)[1]);
}

bool offersAes(std::span<const std::uint8_t> area) {
    const auto methods = encryptionMethods(area);
    return methods && (*methods & iax::aes128) != 0;
}

struct Opening {
    std::size_t removed = 0;
    bool cut = false;
};

// Decrypts the frame in `payload` (its first `clearLength` bytes in clear,
// `declared` bytes long as UDP says) into `plaintext`. Only whole blocks
// the capture kept are decrypted, so a frame cut by the capture still
// yields its start.
std::optional<Opening> decryptFrame(AesCbc& cipher, const ByteCursor& payload,
                                    std::size_t clearLength, std::size_t declared,
                                    std::vector<std::uint8_t>& decrypted,
                                    std::vector<std::uint8_t>& plaintext) {
    constexpr std::size_t block = iaxcrypto::blockSize;
    if (declared < clearLength + block || (declared - clearLength) % block != 0) {
        return std::nullopt;
    }
    const std::size_t captured = std::min(payload.size(), declared);
    if (captured < clearLength + block) {
        return std::nullopt;
    }
    if (!cipher.run(payload.bytes().subspan(clearLength, captured - clearLength), decrypted)) {
        return std::nullopt;
    }
    const std::size_t padding = block + (decrypted[block - 1] & 0x0Fu);
    if (padding > decrypted.size()) {
        return std::nullopt;
    }
    const auto clear = payload.bytes().first(clearLength);
    plaintext.assign(clear.begin(), clear.end());
    plaintext.insert(plaintext.end(), decrypted.begin() + static_cast<std::ptrdiff_t>(padding),
                     decrypted.end());
    return Opening{padding, captured < declared};
}

std::uint16_t readBe16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void writeBe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

// The IPv4 header checksum of `header`, its checksum field taken as zero.
std::uint16_t ipv4Checksum(std::span<const std::uint8_t> header) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at + 1 < header.size(); at += 2) {
        sum += at == 10 ? 0u : readBe16(header, at);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

// The IP and UDP lengths of a packet whose payload lost `removed` bytes, as
// the clear packet had them; an IPv4 checksum that was right stays right.
void shortenHeaders(std::span<std::uint8_t> packet, std::size_t network, std::size_t udp,
                    std::size_t removed) {
    const auto shorten = [&](std::size_t at) {
        if (at + 2 <= packet.size()) {
            const std::uint16_t length = readBe16(packet, at);
            writeBe16(packet, at, length >= removed ? length - removed : 0);
        }
    };
    if (udp != LocatedPayload::none) {
        shorten(udp + 4);
    }
    if (network == LocatedPayload::none || network >= packet.size()) {
        return;
    }
    if (packet[network] >> 4 == 6) {
        shorten(network + 4);
        return;
    }
    const std::size_t headerLength = std::size_t{packet[network] & 0x0Fu} * 4;
    if (packet[network] >> 4 != 4 || headerLength < 20 || network + headerLength > packet.size()) {
        return;
    }
    const auto header = packet.subspan(network, headerLength);
    const bool checksumWasRight = ipv4Checksum(header) == readBe16(header, 10);
    shorten(network + 2);
    if (checksumWasRight) {
        writeBe16(header, 10, ipv4Checksum(header));
    }
}

} // namespace

// --- OpenedPackets ---------------------------------------------------------

std::uint32_t OpenedPackets::addKey(const AesKey& key) {
    const std::scoped_lock lock(mutex_);
    const auto [at, inserted] =
        keyIndex_.try_emplace(key, static_cast<std::uint32_t>(keys_.size()));
    if (inserted) {
        keys_.push_back(key);
    }
    return at->second;
}

void OpenedPackets::add(std::uint32_t packetIndex, std::uint32_t keyIndex,
                        std::uint32_t capturedLength, std::uint16_t linkType) {
    const std::scoped_lock lock(mutex_);
    entries_.push_back({packetIndex, keyIndex, capturedLength, linkType});
}

std::optional<OpenedPackets::Found> OpenedPackets::find(std::uint32_t packetIndex) const {
    const std::scoped_lock lock(mutex_);
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), packetIndex,
        [](const Entry& entry, std::uint32_t index) { return entry.packetIndex < index; });
    if (at == entries_.end() || at->packetIndex != packetIndex) {
        return std::nullopt;
    }
    return Found{keys_[at->keyIndex], at->keyIndex, at->capturedLength, at->linkType};
}

std::size_t OpenedPackets::size() const {
    const std::scoped_lock lock(mutex_);
    return entries_.size();
}

void OpenedPackets::clear() {
    const std::scoped_lock lock(mutex_);
    entries_.clear();
    keys_.clear();
    keyIndex_.clear();
}

// --- FrameDecryption -------------------------------------------------------

// The keys one end of a call encrypts with: the newest, and the one before
// it (for the retransmissions of frames sent before an RTKEY).
struct SideKeys {
    std::optional<AesCbc> current;
    std::optional<AesCbc> previous;
    // The low 16 bits of the last timestamp opened: what a mini frame,
    // which nothing else checks, is expected near.
    std::optional<std::uint16_t> lastTimestamp;
};

namespace {

// How far apart two 16-bit timestamps are, around the wrap.
int timestampDistance(std::uint16_t a, std::uint16_t b) {
    const int difference = std::abs(static_cast<int>(a) - static_cast<int>(b));
    return std::min(difference, 65536 - difference);
}

// A mini frame's timestamp within a second of the last is taken as right.
constexpr int plausibleMiniStep = 1000;

} // namespace

struct FrameDecryption::Call {
    bool requested = false; // the NEW offered AES-128
    bool encrypted = false; // the AUTHREQ did, so every frame after it is encrypted
    bool confirmed = false; // by the caller's first frame after the AUTHREQ
    bool sawUnreadable = false;
    std::optional<std::string> challenge;
    std::array<bool, 2> known{};
    std::array<SideKeys, 2> keys;
};

namespace {

// 16 bytes and a word more, mixed (MurmurHash3's finaliser).
std::size_t mixWords(const std::array<std::uint8_t, 16>& bytes, std::uint64_t more = 0) {
    std::uint64_t low = 0, high = 0;
    std::memcpy(&low, bytes.data(), 8);
    std::memcpy(&high, bytes.data() + 8, 8);
    std::uint64_t hash = low ^ (high * 0x9E3779B97F4A7C15ull) ^ (more * 0xC2B2AE3D27D4EB4Full);
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    return static_cast<std::size_t>(hash);
}

} // namespace

std::size_t FrameDecryption::SenderHash::operator()(const Sender& s) const {
    return mixWords(s.address, std::uint64_t{s.port} << 16 | s.call);
}

std::size_t FrameDecryption::KeyHash::operator()(const AesKey& key) const {
    return mixWords(key);
}

FrameDecryption::FrameDecryption(std::vector<std::string> secrets,
                                 std::shared_ptr<OpenedPackets> opened)
    : secrets_(std::move(secrets)), opened_(std::move(opened)) {}

FrameDecryption::~FrameDecryption() = default;

FrameDecryption::Result FrameDecryption::open(const FrameFacts& facts,
                                              const std::optional<Ipv6Addresses>& ipv6,
                                              const ByteCursor& payload, long declaredLength) {
    const auto first = payload.u8(0);
    if (!first || declaredLength <= 0) {
        return {};
    }
    const auto declared = static_cast<std::size_t>(declaredLength);
    Sender sender, receiver;
    if (ipv6) {
        sender.address = ipv6->source;
        receiver.address = ipv6->destination;
    } else {
        for (int i = 0; i < 4; ++i) {
            sender.address[12 + i] = static_cast<std::uint8_t>(facts.sourceAddress >> (24 - 8 * i));
            receiver.address[12 + i] =
                static_cast<std::uint8_t>(facts.destinationAddress >> (24 - 8 * i));
        }
    }
    sender.port = facts.sourcePort;
    receiver.port = facts.destinationPort;
    sender.call = payload.be16(0).value_or(0) & 0x7FFFu;
    if ((*first & 0x80u) == 0) {
        return calls_.empty() ? Result{} : openMini(facts, sender, payload, declared);
    }
    if (!payload.has(0, fullHeaderLength)) {
        return {};
    }
    receiver.call = *payload.be16(2) & 0x7FFFu;
    if (calls_.empty()) {
        // The common case, a capture with no encrypted call: only a NEW or an
        // AUTHREQ can start following one.
        const std::uint8_t type = *payload.u8(10), subclass = *payload.u8(11);
        if (type == iax::IaxControl && (subclass == iax::New || subclass == iax::AuthRequest)) {
            learnClear(sender, receiver, payload, declared, std::nullopt);
        }
        return {};
    }
    return openFull(facts, sender, receiver, payload, declared);
}

FrameDecryption::Result FrameDecryption::openFull(const FrameFacts& facts, const Sender& sender,
                                                  const Sender& receiver, const ByteCursor& payload,
                                                  std::size_t declared) {
    auto found = senders_.find(sender);
    std::optional<Place> place;
    if (found != senders_.end()) {
        place = found->second;
    } else if (receiver.call != 0) {
        // The other end's first frame: it answers a sender we know.
        const auto answered = senders_.find(receiver);
        if (answered != senders_.end()) {
            Call& call = *calls_[answered->second.call];
            const int side = 1 - answered->second.side;
            if (!call.known[side]) {
                call.known[side] = true;
                place = Place{answered->second.call, side};
                senders_.emplace(sender, *place);
            }
        }
    }
    const FullFrameView clear = viewFull(payload.sub(0, declared).bytes(), declared);
    const bool clearIax = checkFull(clear) != Check::Refused && clear.type == iax::IaxControl;
    if (!place) {
        learnClear(sender, receiver, payload, declared, std::nullopt);
        return {};
    }
    Call& call = *calls_[place->call];
    if (clearIax && clear.exactArea && clear.subclass == iax::New && place->side == 0 &&
        call.encrypted) {
        // The call number was taken again by a new call.
        senders_.erase(sender);
        learnClear(sender, receiver, payload, declared, std::nullopt);
        return {};
    }
    if (!call.encrypted) {
        if (checkFull(clear) != Check::Refused) {
            learnClear(sender, receiver, payload, declared, place);
            return {};
        }
        if (call.requested) {
            call.sawUnreadable = true;
            return {Encryption::NoChallenge, {}, 0};
        }
        return {};
    }
    if (clearIax && clear.exactArea && clear.subclass == iax::AuthRequest && place->side == 1 &&
        offersAes(clear.area)) {
        return {}; // a retransmitted AUTHREQ, in clear as the first one was
    }
    if (!call.confirmed && place->side == 0) {
        // The caller's answer to the AUTHREQ tells: an AUTHREP in clear is
        // a call that went on in clear after all.
        call.confirmed = true;
        if (clearIax && clear.subclass == iax::AuthReply && checkFull(clear) == Check::Certain) {
            call.encrypted = false;
            call.requested = false;
            return {};
        }
    }
    return openWithKeys(facts, call, place->side, payload, declared, true);
}

FrameDecryption::Result FrameDecryption::openMini(const FrameFacts& facts, const Sender& sender,
                                                  const ByteCursor& payload, std::size_t declared) {
    const auto found = senders_.find(sender);
    if (found == senders_.end()) {
        return {};
    }
    Call& call = *calls_[found->second.call];
    if (!call.encrypted) {
        return call.sawUnreadable ? Result{Encryption::NoChallenge, {}, 0} : Result{};
    }
    return openWithKeys(facts, call, found->second.side, payload, declared, false);
}

FrameDecryption::Result FrameDecryption::openWithKeys(const FrameFacts& facts, Call& call, int side,
                                                      const ByteCursor& payload,
                                                      std::size_t declared, bool full) {
    const std::size_t clearLength = full ? fullClearLength : miniClearLength;
    const auto accepts = [&](AesCbc& cipher, Check needed) -> std::optional<Opening> {
        const auto opening =
            decryptFrame(cipher, payload, clearLength, declared, decrypted_, plaintext_);
        if (!opening) {
            return std::nullopt;
        }
        if (!full) {
            return plaintext_.size() >= 4 ? opening : std::nullopt;
        }
        const FullFrameView view = viewFull(plaintext_, declared - opening->removed);
        const Check check = checkFull(view);
        if (check == Check::Refused || (needed == Check::Certain && check != Check::Certain)) {
            return std::nullopt;
        }
        return opening;
    };
    const auto opened = [&](const Opening& opening, const AesKey& key) {
        remember(facts, key);
        if (full) {
            const FullFrameView view = viewFull(plaintext_, declared - opening.removed);
            if (view.exactArea && view.subclass == iax::RotateKey) {
                const auto newKey = findElement(view.area, iax::EncryptionKey);
                if (newKey && newKey->size() == 16) {
                    AesKey next{};
                    std::copy(newKey->begin(), newKey->end(), next.begin());
                    SideKeys& mine = call.keys[side];
                    // A retransmitted RTKEY changes nothing: the key before stays.
                    if (!mine.current || mine.current->key() != next) {
                        mine.previous = std::move(mine.current);
                        mine.current.emplace(next, AesCbc::Direction::Decrypt);
                    }
                }
            }
        }
        SideKeys& sender = call.keys[side];
        if (plaintext_.size() >= clearLength + (full ? 8u : 2u)) {
            const std::size_t at = full ? 6 : 2; // the timestamp's low 16 bits
            sender.lastTimestamp =
                static_cast<std::uint16_t>(plaintext_[at] << 8 | plaintext_[at + 1]);
        }
        return Result{Encryption::Opened, plaintext_, opening.removed};
    };

    SideKeys& mine = call.keys[side];
    SideKeys& theirs = call.keys[1 - side];
    // A mini frame cannot be checked: of the keys that open it, the one whose
    // timestamp follows the sender's last is taken (a frame sent before an
    // RTKEY may arrive after it).
    std::optional<AesCbc>* nearest = nullptr;
    int nearestDistance = 0;
    for (auto* cipher : {&mine.current, &mine.previous, &theirs.current, &theirs.previous}) {
        if (!cipher->has_value()) {
            continue;
        }
        const auto opening = accepts(**cipher, Check::Plausible);
        if (!opening) {
            continue;
        }
        if (full || !mine.lastTimestamp) {
            return opened(*opening, (*cipher)->key());
        }
        const int distance = timestampDistance(
            static_cast<std::uint16_t>(plaintext_[2] << 8 | plaintext_[3]), *mine.lastTimestamp);
        if (distance <= plausibleMiniStep) {
            return opened(*opening, (*cipher)->key());
        }
        if (nearest == nullptr || distance < nearestDistance) {
            nearest = cipher;
            nearestDistance = distance;
        }
    }
    if (nearest != nullptr) {
        const auto opening = accepts(**nearest, Check::Plausible); // its plaintext again
        return opened(*opening, (*nearest)->key());
    }
    if (!call.challenge) {
        return {Encryption::NoChallenge, {}, 0};
    }
    if (!full || mine.current || theirs.current) {
        return {Encryption::NoKey, {}, 0};
    }
    // No key yet: the secret whose key opens this frame into a well-formed
    // control frame (the caller's AUTHREP, first of all) is the call's.
    for (const std::string& secret : secrets_) {
        AesCbc cipher(iaxcrypto::keyFromChallenge(*call.challenge, secret),
                      AesCbc::Direction::Decrypt);
        if (const auto opening = accepts(cipher, Check::Certain)) {
            const AesKey key = cipher.key();
            mine.current.emplace(key, AesCbc::Direction::Decrypt);
            theirs.current.emplace(key, AesCbc::Direction::Decrypt);
            return opened(*opening, key);
        }
    }
    return {Encryption::NoKey, {}, 0};
}

void FrameDecryption::learnClear(const Sender& sender, const Sender& receiver,
                                 const ByteCursor& payload, std::size_t declared,
                                 std::optional<Place> place) {
    const FullFrameView view = viewFull(payload.sub(0, declared).bytes(), declared);
    if (view.type != iax::IaxControl || !view.exactArea || !offersAes(view.area)) {
        return;
    }
    if (view.subclass == iax::New && !place) {
        auto call = std::make_unique<Call>();
        call->requested = true;
        call->known[0] = true;
        senders_.insert_or_assign(sender, Place{calls_.size(), 0});
        calls_.push_back(std::move(call));
        return;
    }
    if (view.subclass != iax::AuthRequest) {
        return;
    }
    const auto challenge = findElement(view.area, iax::Challenge);
    if (!challenge) {
        return;
    }
    if (!place) {
        const auto caller = senders_.find(receiver);
        if (caller != senders_.end() && caller->second.side == 0) {
            place = Place{caller->second.call, 1};
        } else {
            // The NEW was not captured: the AUTHREQ says who called.
            auto call = std::make_unique<Call>();
            call->known[0] = true;
            senders_.insert_or_assign(receiver, Place{calls_.size(), 0});
            place = Place{calls_.size(), 1};
            calls_.push_back(std::move(call));
        }
        calls_[place->call]->known[1] = true;
        senders_.insert_or_assign(sender, *place);
    }
    if (place->side != 1) {
        return;
    }
    Call& call = *calls_[place->call];
    call.encrypted = true;
    call.challenge = std::string(challenge->begin(), challenge->end());
}

void FrameDecryption::remember(const FrameFacts& facts, const AesKey& key) {
    if (!opened_) {
        return;
    }
    auto [noted, first] = notedKeys_.try_emplace(key, 0);
    if (first) {
        noted->second = opened_->addKey(key);
    }
    opened_->add(facts.packetIndex, noted->second, facts.capturedLength, facts.linkType);
}

bool FrameDecryption::reopen(std::span<const std::uint8_t> packet, std::uint16_t linkType,
                             const AesKey& key, std::vector<std::uint8_t>& clear) {
    AesCbc cipher(key, AesCbc::Direction::Decrypt);
    return reopen(packet, linkType, cipher, clear);
}

bool FrameDecryption::reopen(std::span<const std::uint8_t> packet, std::uint16_t linkType,
                             AesCbc& cipher, std::vector<std::uint8_t>& clear) {
    FrameFacts facts;
    const LocatedPayload located = locateIaxPayload(ByteCursor{packet}, linkType, facts);
    const auto first = located.payload.u8(0);
    if (!located.isUdp || !first || facts.udpLength <= udpHeaderLength) {
        return false;
    }
    std::vector<std::uint8_t> decrypted, plaintext;
    const std::size_t clearLength = (*first & 0x80u) != 0 ? fullClearLength : miniClearLength;
    const auto opening = decryptFrame(cipher, located.payload, clearLength,
                                      facts.udpLength - udpHeaderLength, decrypted, plaintext);
    if (!opening) {
        return false;
    }
    const auto head = packet.first(facts.payloadOffset);
    clear.assign(head.begin(), head.end());
    clear.insert(clear.end(), plaintext.begin(), plaintext.end());
    shortenHeaders(clear, located.networkOffset, located.udpOffset, opening->removed);
    return true;
}

std::vector<std::uint8_t> FrameDecryption::seal(std::span<const std::uint8_t> frame,
                                                const AesKey& key,
                                                std::span<const std::uint8_t, 16> padding) {
    const std::size_t clearLength =
        !frame.empty() && (frame[0] & 0x80u) != 0 ? fullClearLength : miniClearLength;
    const std::size_t split = std::min(clearLength, frame.size());
    const auto body = frame.subspan(split);
    const std::size_t extra =
        (iaxcrypto::blockSize - body.size() % iaxcrypto::blockSize) % iaxcrypto::blockSize;
    std::vector<std::uint8_t> in(padding.begin(), padding.end());
    in[15] = static_cast<std::uint8_t>((in[15] & 0xF0u) | extra);
    in.insert(in.end(), padding.begin(), padding.begin() + static_cast<std::ptrdiff_t>(extra));
    in.insert(in.end(), body.begin(), body.end());
    std::vector<std::uint8_t> sealed(frame.begin(),
                                     frame.begin() + static_cast<std::ptrdiff_t>(split));
    std::vector<std::uint8_t> out;
    AesCbc cipher(key, AesCbc::Direction::Encrypt);
    cipher.run(in, out);
    sealed.insert(sealed.end(), out.begin(), out.end());
    return sealed;
}
