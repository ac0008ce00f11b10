#include "samples/Scenarios.h"

#include "record/IaxNumbers.h"

#include <optional>
#include <string>

namespace scenarios {
namespace {

using iaxgen::Bytes;
using iaxgen::Elements;
using iaxgen::Endpoint;
using iaxgen::FullHeader;

// 2026-01-01 10:00:00 UTC, so that the sample never changes.
constexpr std::int64_t sampleStart = 1767261600LL * 1000000;

const Endpoint phone{{192, 0, 2, 10}, 4569};
const Endpoint server{{198, 51, 100, 20}, 4569};

using namespace iax; // the protocol's numbers

class Conversation {
public:
    explicit Conversation(const PacketSink& sink) : sink_(sink) {}

    void full(bool fromPhone, FullHeader header, const Bytes& body = {}) {
        send(fromPhone, iaxgen::fullFrame(header, body));
    }
    void send(bool fromPhone, const Bytes& payload) {
        sink_(iaxgen::udpPacket(fromPhone ? phone : server, fromPhone ? server : phone, payload),
              sampleStart + static_cast<std::int64_t>(elapsedMs_) * 1000);
    }
    // An ACK carries the timestamp of the frame it acknowledges.
    void ack(bool fromPhone, std::uint16_t sourceCall, std::uint16_t destinationCall,
             std::uint32_t timestamp, std::uint8_t outSequence, std::uint8_t inSequence) {
        full(fromPhone, {.sourceCall = sourceCall,
                         .destinationCall = destinationCall,
                         .timestamp = timestamp,
                         .outSequence = outSequence,
                         .inSequence = inSequence,
                         .frameType = IaxControl,
                         .subclass = Ack});
    }
    void wait(std::uint32_t ms) { elapsedMs_ += ms; }
    [[nodiscard]] std::uint32_t now() const { return elapsedMs_; }

private:
    const PacketSink& sink_;
    std::uint32_t elapsedMs_ = 0;
};

Bytes media(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

} // namespace

void sampleCall(const PacketSink& sink) {
    Conversation c(sink);
    // Registration with an MD5 challenge.
    c.full(true, {.sourceCall = 1, .timestamp = 3, .frameType = IaxControl, .subclass = RegRequest},
           Elements().text(6, "alice").u16(19, 60).bytes());
    c.wait(12);
    c.full(false,
           {.sourceCall = 100,
            .destinationCall = 1,
            .timestamp = 2,
            .inSequence = 1,
            .frameType = IaxControl,
            .subclass = RegAuth},
           Elements().u16(14, 2).text(15, "214748364").text(6, "alice").bytes());
    c.wait(10);
    c.full(true,
           {.sourceCall = 1,
            .destinationCall = 100,
            .timestamp = 25,
            .outSequence = 1,
            .inSequence = 1,
            .frameType = IaxControl,
            .subclass = RegRequest},
           Elements()
               .text(6, "alice")
               .text(16, "5f4dcc3b5aa765d61d8327deb882cf99")
               .u16(19, 60)
               .bytes());
    c.wait(11);
    c.full(false,
           {.sourceCall = 100,
            .destinationCall = 1,
            .timestamp = 24,
            .outSequence = 1,
            .inSequence = 2,
            .frameType = IaxControl,
            .subclass = RegAck},
           Elements()
               .text(6, "alice")
               .datetime(31, 2026, 1, 1, 10, 0, 0)
               .u16(19, 60)
               .socketAddress(18, phone)
               .u16(24, 3)
               .bytes());
    c.wait(2);
    c.ack(true, 1, 100, 24, 2, 2);

    // The call: the phone calls 1000 with G.711 uLaw.
    c.wait(1500);
    const std::string callerName = "Alice M\xFCller"; // Latin-1, as IAX2 peers send it
    c.full(true, {.sourceCall = 2, .timestamp = 4, .frameType = IaxControl, .subclass = New},
           Elements()
               .u16(11, 2)
               .text(1, "1000")
               .text(2, "2000")
               .text(4, callerName)
               .u8(38, 0)
               .u8(39, 0)
               .u16(40, 0)
               .text(5, "default")
               .text(6, "alice")
               .u32(9, 4)
               .u32(8, 0x0E)
               .text(10, "en")
               .datetime(31, 2026, 1, 1, 10, 0, 2)
               .bytes());
    c.wait(9);
    c.full(false,
           {.sourceCall = 200,
            .destinationCall = 2,
            .timestamp = 6,
            .inSequence = 1,
            .frameType = IaxControl,
            .subclass = Accept},
           Elements().u32(9, 4).bytes());
    c.wait(1);
    c.ack(true, 2, 200, 6, 1, 1);
    c.wait(40);
    c.full(false, {.sourceCall = 200,
                   .destinationCall = 2,
                   .timestamp = 47,
                   .outSequence = 1,
                   .inSequence = 1,
                   .frameType = Control,
                   .subclass = 3}); // Ringing
    c.wait(1);
    c.ack(true, 2, 200, 47, 1, 2);
    c.wait(2000);
    c.full(false, {.sourceCall = 200,
                   .destinationCall = 2,
                   .timestamp = 2048,
                   .outSequence = 2,
                   .inSequence = 1,
                   .frameType = Control,
                   .subclass = 4}); // Answer
    c.wait(1);
    c.ack(true, 2, 200, 2048, 1, 3);

    // Voice: a full frame each way to set the codec, then mini frames.
    c.wait(20);
    c.full(true,
           {.sourceCall = 2,
            .destinationCall = 200,
            .timestamp = 2080,
            .outSequence = 1,
            .inSequence = 3,
            .frameType = Voice,
            .subclass = 4},
           media(160, 1));
    c.full(false,
           {.sourceCall = 200,
            .destinationCall = 2,
            .timestamp = 2080,
            .outSequence = 3,
            .inSequence = 2,
            .frameType = Voice,
            .subclass = 4},
           media(160, 2));
    c.wait(1);
    c.ack(false, 200, 2, 2081, 4, 2);
    c.ack(true, 2, 200, 2081, 2, 4);
    for (std::uint16_t i = 1; i <= 10; ++i) {
        c.wait(20);
        const auto ts = static_cast<std::uint16_t>(2080 + 20 * i);
        c.send(true, iaxgen::miniFrame(2, ts, media(160, static_cast<std::uint8_t>(i))));
        c.send(false, iaxgen::miniFrame(200, ts, media(160, static_cast<std::uint8_t>(i + 50))));
    }

    // The phone hangs up.
    c.wait(15);
    c.full(true,
           {.sourceCall = 2,
            .destinationCall = 200,
            .timestamp = 2295,
            .outSequence = 2,
            .inSequence = 4,
            .frameType = IaxControl,
            .subclass = Hangup},
           Elements().text(22, "Normal Clearing").u8(42, 16).bytes());
    c.wait(8);
    c.ack(false, 200, 2, 2295, 4, 3);
}

void hostileTexts(const PacketSink& sink) {
    Conversation c(sink);
    // Texts that would act on a terminal printed raw: a title set, a bell,
    // a screen clear, a colour, a line break, a C1 CSI (0x9B, a Latin-1 byte
    // as IAX2 peers send names) and a right-to-left override.
    const std::string title = "\x1b]0;owned\x07";
    c.full(true, {.sourceCall = 1, .timestamp = 3, .frameType = IaxControl, .subclass = RegRequest},
           Elements()
               .text(6, "al\x1b"
                        "cice")
               .u16(19, 60)
               .bytes());
    c.wait(10);
    c.full(false,
           {.sourceCall = 100,
            .destinationCall = 1,
            .timestamp = 2,
            .inSequence = 1,
            .frameType = IaxControl,
            .subclass = RegReject},
           Elements().text(22, "No " + title + "such\x1b[2J peer").u8(42, 21).bytes());
    c.wait(1500);
    c.full(true, {.sourceCall = 2, .timestamp = 4, .frameType = IaxControl, .subclass = New},
           Elements()
               .u16(11, 2)
               .text(1, "100\x1b[31m")
               .text(2, "200\r\n300")
               .text(4, "Eve " + title +
                            "\x9b"
                            "31m\x7f\xe2\x80\xae"
                            "evil")
               .u32(9, 4)
               .u32(8, 4)
               .bytes());
    c.wait(9);
    c.full(false,
           {.sourceCall = 200,
            .destinationCall = 2,
            .timestamp = 6,
            .inSequence = 1,
            .frameType = IaxControl,
            .subclass = Hangup},
           Elements()
               .text(22, "Gone\x07\x1b"
                         "c")
               .u8(42, 16)
               .bytes());
    c.wait(1);
    c.ack(true, 2, 200, 6, 1, 1);
}

void malformedFrames(const PacketSink& sink) {
    std::int64_t us = 0;
    const auto send = [&](const Bytes& payload, std::optional<std::uint16_t> udpLength = {}) {
        Bytes packet = iaxgen::udpPacket(phone, server, payload);
        if (udpLength) {
            // Ethernet, IPv4 without options: the UDP length after the ports.
            packet[38] = static_cast<std::uint8_t>(*udpLength >> 8);
            packet[39] = static_cast<std::uint8_t>(*udpLength);
        }
        sink(packet, us += 10'000);
    };
    const auto newFrame = [](std::uint8_t outSequence, const Elements& elements) {
        return iaxgen::fullFrame({.sourceCall = 5,
                                  .destinationCall = 7,
                                  .timestamp = 1000u + outSequence,
                                  .outSequence = outSequence,
                                  .frameType = IaxControl,
                                  .subclass = New},
                                 elements.bytes());
    };
    const Bytes whole = newFrame(0, {});
    for (const std::size_t length : {4, 8, 11}) { // datagrams that end within the header
        send(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    }
    Bytes pastEnd = newFrame(1, Elements().text(6, "alice"));
    for (const std::uint8_t byte : {std::uint8_t{4}, std::uint8_t{40}, std::uint8_t{'B'}}) {
        pastEnd.push_back(byte); // a Calling Name of 40 bytes, with one there
    }
    send(pastEnd);
    send(newFrame(2, Elements().u8(11, 2).u16(9, 4).u8(19, 60))); // numbers of the wrong size
    send(newFrame(3,
                  Elements().text(6, std::string("ali\0ce", 6)).text(4, std::string("Bob\0", 4))));
    // UDP declares the header and the username alone; the name follows.
    send(newFrame(4, Elements().text(6, "alice").text(4, "Carol")),
         static_cast<std::uint16_t>(8 + 12 + 7));
}

void manyCalls(std::uint64_t count, std::uint32_t calls, const PacketSink& sink) {
    Conversation c(sink);
    const Bytes voice = media(160, 5);
    auto callerCall = [](std::uint32_t i) { return static_cast<std::uint16_t>(1 + i % 30000); };
    auto calleeCall = [](std::uint32_t i) { return static_cast<std::uint16_t>(30001 + i % 2700); };
    std::uint64_t sent = 0;
    for (std::uint32_t i = 0; i < calls; ++i, sent += 5) {
        const std::uint16_t a = callerCall(i);
        const std::uint16_t b = calleeCall(i);
        c.full(true, {.sourceCall = a, .frameType = IaxControl, .subclass = New},
               Elements().text(1, "100").text(2, std::to_string(2000 + i)).u32(9, 4).bytes());
        c.full(false,
               {.sourceCall = b, .destinationCall = a, .frameType = IaxControl, .subclass = Accept},
               Elements().u32(9, 4).bytes());
        c.ack(true, a, b, 0, 1, 1);
        c.full(false, {.sourceCall = b, .destinationCall = a, .frameType = Control, .subclass = 3});
        c.full(false, {.sourceCall = b, .destinationCall = a, .frameType = Control, .subclass = 4});
        c.wait(1);
    }
    const std::uint64_t teardown = 2ull * calls;
    // Every 20 ms each call's caller, then its callee, sends a frame.
    const std::uint64_t round = 2ull * calls;
    for (std::uint64_t n = 0; sent + teardown < count; ++n, ++sent) {
        const auto i = static_cast<std::uint32_t>(n / 2 % calls);
        const bool fromCaller = n % 2 == 0;
        c.send(fromCaller, iaxgen::miniFrame(fromCaller ? callerCall(i) : calleeCall(i),
                                             static_cast<std::uint16_t>(n / round * 20), voice));
        if (n % round == round - 1) {
            c.wait(20);
        }
    }
    for (std::uint32_t i = 0; i < calls; ++i) {
        c.full(true, {.sourceCall = callerCall(i),
                      .destinationCall = calleeCall(i),
                      .frameType = IaxControl,
                      .subclass = Hangup});
        c.ack(false, calleeCall(i), callerCall(i), 0, 2, 2);
    }
}

void newsOnly(std::uint64_t count, const PacketSink& sink) {
    const Bytes elements = Elements()
                               .u16(11, 2)
                               .text(1, "1000")
                               .text(2, "2000")
                               .text(4, std::string(24, 'a') + "!")
                               .u32(9, 4)
                               .bytes();
    for (std::uint64_t i = 0; i < count; ++i) {
        // 30,000 call numbers a port, a port a phone.
        const Endpoint caller{{10, 1, static_cast<std::uint8_t>(i / 30000 / 250),
                               static_cast<std::uint8_t>(1 + i / 30000 % 250)},
                              4569};
        const auto call = static_cast<std::uint16_t>(1 + i % 30000);
        sink(iaxgen::udpPacket(
                 caller, server,
                 iaxgen::fullFrame(
                     {.sourceCall = call, .timestamp = 3, .frameType = IaxControl, .subclass = New},
                     elements)),
             sampleStart + static_cast<std::int64_t>(i) * 100);
    }
}

void timeJumpCall(const PacketSink& sink) {
    Conversation c(sink);
    c.full(true, {.sourceCall = 1, .timestamp = 3, .frameType = IaxControl, .subclass = New},
           Elements().text(1, "1000").text(2, "2000").u32(9, 4).bytes());
    c.wait(10);
    c.full(false,
           {.sourceCall = 2,
            .destinationCall = 1,
            .timestamp = 5,
            .frameType = IaxControl,
            .subclass = Accept},
           Elements().u32(9, 4).bytes());
    c.wait(10);
    c.full(false, {.sourceCall = 2,
                   .destinationCall = 1,
                   .timestamp = 15,
                   .frameType = Control,
                   .subclass = 4});
    const Bytes voice = media(160, 1);
    const std::uint32_t jump = 7u * 1800u * 1000u; // three and a half hours
    for (const std::uint32_t timestamp : {40u, 60u, jump + 80, jump + 100, jump + 120}) {
        c.wait(20);
        c.full(true,
               {.sourceCall = 1,
                .destinationCall = 2,
                .timestamp = timestamp,
                .frameType = Voice,
                .subclass = 4},
               voice);
    }
}

void benchmarkMix(std::uint64_t count, const PacketSink& sink) {
    const Bytes voiceMedia = media(160, 9);
    const Bytes miniMedia = media(160, 3);
    const Bytes controlBody = Elements()
                                  .u16(11, 2)
                                  .text(1, "1000")
                                  .text(2, "2000")
                                  .text(6, "alice")
                                  .u32(9, 4)
                                  .u32(8, 0x0E)
                                  .bytes();
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto call = static_cast<std::uint16_t>(1 + i % 97);
        const auto ts = static_cast<std::uint32_t>(i * 20);
        const bool outbound = i % 2 == 0;
        Bytes payload;
        switch (i % 20) {
        case 0:
            payload = iaxgen::fullFrame({.sourceCall = call,
                                         .destinationCall = call,
                                         .timestamp = ts,
                                         .frameType = IaxControl,
                                         .subclass = New},
                                        controlBody);
            break;
        case 10:
            payload = iaxgen::fullFrame({.sourceCall = call,
                                         .destinationCall = call,
                                         .timestamp = ts,
                                         .frameType = Voice,
                                         .subclass = 4},
                                        voiceMedia);
            break;
        default:
            payload = iaxgen::miniFrame(call, static_cast<std::uint16_t>(ts), miniMedia);
        }
        sink(iaxgen::udpPacket(outbound ? phone : server, outbound ? server : phone, payload),
             sampleStart + static_cast<std::int64_t>(i) * 100);
    }
}

void allKinds(const PacketSink& sink) {
    Conversation c(sink);
    std::uint8_t sequence = 0;
    auto header = [&sequence](std::uint8_t type, std::uint8_t subclass, bool retry,
                              std::uint32_t timestamp, std::uint16_t source,
                              std::uint16_t destination) {
        return FullHeader{source, destination, retry, timestamp, sequence++, 0, type, subclass};
    };

    // Every IAX control subclass, bit 7 clear and set, both retransmission states.
    for (unsigned sub = 0; sub < 40; ++sub) {
        c.full(sub % 2 == 0, header(IaxControl, static_cast<std::uint8_t>(sub), sub % 3 == 0,
                                    sub * 1000, static_cast<std::uint16_t>(sub + 1),
                                    static_cast<std::uint16_t>(0x7FFF - sub)));
        c.wait(1);
    }
    c.full(true, header(IaxControl, 0x81, false, 77, 5, 7));
    // Control subclasses, including those past the table.
    for (unsigned sub :
         {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 15u, 16u, 255u}) {
        c.full(false,
               header(Control, static_cast<std::uint8_t>(sub), sub == 4, 123456 + sub, 42, 43));
        c.wait(1);
    }
    // Voice: one-bit masks and bit numbers.
    for (unsigned sub : {0x01u, 0x02u, 0x04u, 0x08u, 0x10u, 0x20u, 0x40u, 0x00u, 0x03u, 0x80u,
                         0x84u, 0x8Au, 0x8Bu, 0xFFu}) {
        c.full(true,
               header(Voice, static_cast<std::uint8_t>(sub), false, 0xFFFFFFFFu - sub, 0x7FFF, 1),
               media(20, static_cast<std::uint8_t>(sub)));
        c.wait(1);
    }
    // Frame types that are not decoded further.
    for (unsigned type : {0u, 1u, 3u, 5u, 7u, 8u, 9u, 10u, 11u, 200u}) {
        c.full(false, header(static_cast<std::uint8_t>(type), 1, true, 999, 11, 12));
        c.wait(1);
    }
    // Every element kind, a few to a frame.
    const Elements strings = Elements()
                                 .text(1, "1000")
                                 .text(2, "2000")
                                 .text(3, "3000")
                                 .text(4, "Name \xE9t\xE9")
                                 .text(5, "default")
                                 .text(6, "alice")
                                 .text(7, "secret")
                                 .text(10, "en")
                                 .text(15, "123")
                                 .text(16, "md5")
                                 .text(17, "rsa");
    const Elements numbers = Elements()
                                 .u32(8, 0xFFFFFFFFu)
                                 .u32(9, 4)
                                 .u16(11, 2)
                                 .u16(12, 0)
                                 .raw(13, {})
                                 .u16(14, 3)
                                 .socketAddress(18, phone)
                                 .u16(19, 60)
                                 .u16(20, 1)
                                 .u16(21, 0x7FFF)
                                 .text(22, "Busy")
                                 .u8(23, 255)
                                 .u16(24, 5)
                                 .raw(25, {})
                                 .raw(26, {})
                                 .u32(27, 123456789);
    const Elements more = Elements()
                              .text(28, "rdnis")
                              .datetime(31, 2007, 3, 15, 14, 30, 20)
                              .text(32, "phone")
                              .text(33, "svc")
                              .u16(34, 65535)
                              .u8(38, 1)
                              .u8(39, 2)
                              .u16(40, 3)
                              .u16(41, 8000)
                              .u8(42, 17)
                              .raw(43, std::vector<std::uint8_t>{0xAB, 0xCD});
    for (const Elements* elements : {&strings, &numbers, &more}) {
        c.full(true, header(IaxControl, New, false, 5000, 3, 4), elements->bytes());
        c.wait(1);
    }
    // Mini frames at their edges.
    for (std::uint16_t call : {0, 1, 5, 0x7FFF}) {
        c.send(call % 2 == 0,
               iaxgen::miniFrame(call, static_cast<std::uint16_t>(call * 3 + 1), media(8, 1)));
        c.wait(1);
    }
    c.send(true, iaxgen::miniFrame(9, 0xFFFF, media(8, 1)));
    c.wait(1);

    // Meta frames: video mini frames with and without the marker, and trunk
    // frames with and without per-entry timestamps, one with an entry that
    // runs past its datagram.
    c.send(true, Bytes{0x00, 0x00, 0x80, 0x11, 0x81, 0x23, 'v', 'i', 'd'});
    c.wait(1);
    c.send(false, Bytes{0x00, 0x00, 0xFF, 0xFF, 0x7F, 0xFF});
    c.wait(1);
    c.send(true,
           Bytes{0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x03, 0xE8, 0x00, 0x04, 0x00, 0x05, 0x01,
                 0x02, 'a',  'b',  'c',  'd',  0x00, 0x02, 0x80, 0x07, 0x02, 0x03, 'x',  'y'});
    c.wait(1);
    c.send(false, Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0xD0, 0x00, 0x06, 0x00, 0x03, '1',
                        '2', '3'});
    c.wait(1);
    c.send(true,
           Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06, 0x00, 0x09, '1'});
}

} // namespace scenarios
