#pragma once

#include <array>
#include <cstdint>

// What a frame record knows of its packet, as numbers. Display texts are
// made from these when a row is shown or printed, never kept.
//
// A million of these are held for a million packets, so the layout is packed
// by hand into 64 bytes: the rarely needed or small values share words.
enum class FrameKind : std::uint8_t {
    Fresh,     // not decoded yet: placeholder addresses, "N/A" elsewhere
    Full,      // IAX2 full frame
    Mini,      // IAX2 mini frame (F bit clear)
    Truncated, // the capture ended before the IAX2 header did
    VideoMini, // IAX2 meta video frame
    Trunk,     // IAX2 meta trunk frame
    NotIax,    // not UDP over IP, or a later fragment: see PacketClass
    Meta,      // IAX2 meta frame of a command other than trunk
};

// What a packet that carries no IAX2 is.
enum class PacketClass : std::uint8_t {
    NotIp, // a link-layer type other than IPv4, IPv6 and ARP
    Arp,
    UnknownLinkType, // a link-layer header this decoder does not read
    MalformedIPv4,   // a version or header length that cannot be
    MalformedIPv6,
    Ipv4Fragment, // a fragment after the first
    Ipv6Fragment,
    Tcp,
    Icmp,
    Icmpv6,
    OtherIpProtocol, // its number in FrameFacts::subclass
    Hep,             // a HEP v3 message of another kind than IAX: its type in subclass
};

enum class AddressFamily : std::uint8_t { None, IPv4, IPv6 };

// Whether a frame of an encrypted call was read through its key.
enum class Encryption : std::uint8_t {
    Clear,       // sent in clear
    Opened,      // decrypted: its facts are the clear frame's
    NoKey,       // encrypted, and no known secret opens it
    NoChallenge, // encrypted, and the challenge its key comes from was not captured
};

// One call's entry in an IAX2 trunk frame.
struct TrunkEntry {
    std::uint16_t sourceCall = 0; // without the R bit
    std::uint16_t timestamp = 0;  // where the frame has per-entry timestamps
    std::uint16_t length = 0;     // of the entry's data, as declared
    std::uint16_t dataOffset = 0; // where the data starts, from the start of the packet
    bool hasTimestamp = false;
    bool retransmission = false; // its R bit
    bool headerCaptured = false; // the entry's header lies within the captured bytes
    bool dataCaptured = false;   // and so does its data
    bool withinDatagram = false; // header and data lie within what UDP declares
};

// IPv6 addresses are kept beside the record, not in its facts: most captures
// have none, and the facts of every record stay 64 bytes.
struct Ipv6Addresses {
    std::array<std::uint8_t, 16> source{};
    std::array<std::uint8_t, 16> destination{};
};

// Where the capture file's timestamp came from: libpcap hands both as
// nanoseconds, this says which digits the file really held.
enum class TimeResolution : std::uint8_t { Microseconds, Nanoseconds };

struct FrameFacts {
    static constexpr std::uint64_t unknownFileOffset = (std::uint64_t{1} << 48) - 1;

    // Where the packet lies: its record's byte offset in the capture file it
    // was read from or written to (unknownFileOffset where there is no such
    // file, as for standard input), and where the IAX2 payload starts within
    // the packet's captured bytes.
    std::uint64_t fileOffset : 48 = unknownFileOffset;
    std::uint64_t payloadOffset : 16 = 0;

    // The capture: when, how much of it, and the packet's 0-based index in
    // its file or live run.
    std::int64_t captureSeconds = 0;
    std::uint32_t captureNanoseconds = 0;
    std::uint32_t capturedLength = 0;
    std::uint32_t wireLength = 0;
    std::uint32_t packetIndex = 0;

    // Network: IPv4 addresses in host order, and the UDP ports.
    std::uint32_t sourceAddress = 0;
    std::uint32_t destinationAddress = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;

    static constexpr std::uint8_t cutHeaderMark = 0x80;
    // IAX2 header, as numbers. Call numbers without the F and R bits. For a
    // packet of kind NotIax, frameType holds its PacketClass and subclass the
    // IP protocol number where it has one. For a full or mini frame cut
    // within its header (kind Truncated), frameType is cutHeaderMark with its
    // packet type (0 mini, 1 full) where its source call is there to read.
    std::uint16_t sourceCall = 0;
    std::uint16_t destinationCall = 0;
    std::uint32_t iaxTimestamp = 0; // a mini frame's 16 bits, a full frame's 32
    std::uint8_t outboundSequence = 0;
    std::uint8_t inboundSequence = 0;
    std::uint8_t frameType = 0;
    std::uint8_t subclass = 0;

    std::uint16_t linkType = 0;  // the capture's link-layer header type (DLT)
    std::uint16_t udpLength = 0; // as the UDP header declares it, header included

    // Local time of day at which the packet was decoded, in seconds.
    std::uint32_t decodedSecondOfDay : 17 = 0;
    std::uint32_t kindBits : 4 = 0;
    std::uint32_t familyBits : 2 = 0;
    std::uint32_t resolutionBits : 1 = 0;
    std::uint32_t retransmission : 1 = 0; // a full frame's R bit; a video frame's marker bit
    std::uint32_t sourceCaptured : 1 = 0; // the source address lies within the captured bytes
    std::uint32_t destinationCaptured : 1 = 0;
    std::uint32_t portsCaptured : 1 = 0;
    std::uint32_t udpLengthCaptured : 1 = 0;
    std::uint32_t encryptionBits : 2 = 0;
    std::uint32_t udpLengthShort : 1 = 0; // UDP declares less than the IP payload holds

    [[nodiscard]] FrameKind kind() const { return static_cast<FrameKind>(kindBits); }
    [[nodiscard]] PacketClass packetClass() const { return static_cast<PacketClass>(frameType); }
    void setKind(FrameKind kind) { kindBits = static_cast<std::uint32_t>(kind); }
    [[nodiscard]] Encryption encryption() const { return static_cast<Encryption>(encryptionBits); }
    void setEncryption(Encryption state) { encryptionBits = static_cast<std::uint32_t>(state); }
    // Encrypted, and left as its ciphertext.
    [[nodiscard]] bool isLocked() const {
        return encryption() == Encryption::NoKey || encryption() == Encryption::NoChallenge;
    }
    [[nodiscard]] AddressFamily family() const { return static_cast<AddressFamily>(familyBits); }
    void setFamily(AddressFamily family) { familyBits = static_cast<std::uint32_t>(family); }
    [[nodiscard]] TimeResolution resolution() const {
        return static_cast<TimeResolution>(resolutionBits);
    }
    void setResolution(TimeResolution resolution) {
        resolutionBits = static_cast<std::uint32_t>(resolution);
    }

    // The codec of a voice full frame as its bit mask (1 << bit number), or 0
    // where the subclass names none. Matches the frame table's codec names.
    [[nodiscard]] std::uint32_t codecMask() const;
    [[nodiscard]] bool isFullFrameOfType(std::uint8_t type) const {
        return kind() == FrameKind::Full && frameType == type;
    }
};

static_assert(sizeof(FrameFacts) == 64, "a frame's facts are held for every packet");
