#pragma once

#include <cstdint>

// The IAX2 protocol's own numbers (RFC 5456) that the decoders, the call
// tracker and the generated captures refer to by name.
namespace iax {

enum FrameType : std::uint8_t { Voice = 2, Control = 4, IaxControl = 6 };

// Subclasses of IAX control frames (frame type 6).
enum IaxSubclass : std::uint8_t {
    New = 1,
    Ping = 2,
    Pong = 3,
    Ack = 4,
    Hangup = 5,
    Reject = 6,
    Accept = 7,
    AuthRequest = 8,
    AuthReply = 9,
    Inval = 10,
    LagRequest = 11,
    LagReply = 12,
    RegRequest = 13,
    RegAuth = 14,
    RegAck = 15,
    RegReject = 16,
    RegRelease = 17,
    Vnak = 18,
    Poke = 30,
    RotateKey = 39,
};

// Subclasses of control frames (frame type 4).
enum ControlSubclass : std::uint8_t { ControlHangup = 1, Ringing = 3, Answer = 4 };

// Information element identifiers.
enum ElementId : std::uint8_t {
    CalledNumber = 1,
    CallingNumber = 2,
    CallingName = 4,
    Username = 6,
    Format = 9,
    Challenge = 15,
    Md5Result = 16,
    RefreshInterval = 19,
    CauseText = 22,
    CauseCode = 42,
    Encryption = 43,
    EncryptionKey = 44,
};

// The ENCRYPTION element's methods.
inline constexpr std::uint16_t aes128 = 0x0001;

// The voice formats, as bit masks (RFC 5456 section 8.7).
enum Codec : std::uint32_t {
    G7231 = 0x1,
    Gsm = 0x2,
    Ulaw = 0x4,
    Alaw = 0x8,
    G726 = 0x10,
    Adpcm = 0x20,
    Slinear = 0x40,
    Lpc10 = 0x80,
    G729 = 0x100,
    Speex = 0x200,
    Ilbc = 0x400,
};

} // namespace iax
