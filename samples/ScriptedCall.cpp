#include "samples/ScriptedCall.h"

#include "record/IaxNumbers.h"

namespace scenarios {

using namespace iax;

const iaxgen::Endpoint ScriptedCall::pbxA{{203, 0, 113, 1}, 4569};
const iaxgen::Endpoint ScriptedCall::pbxB{{203, 0, 113, 2}, 4569};

ScriptedCall::ScriptedCall(const PacketSink& sink, std::int64_t startUs, std::uint16_t callerCall,
                           std::uint16_t calleeCall)
    : sink_(sink), nowUs_(startUs), callerCall_(callerCall), calleeCall_(calleeCall) {}

void ScriptedCall::send(bool fromCaller, const iaxgen::Bytes& payload) {
    sink_(iaxgen::udpPacket(fromCaller ? pbxA : pbxB, fromCaller ? pbxB : pbxA, payload), nowUs_);
}

void ScriptedCall::full(bool fromCaller, std::uint8_t type, std::uint8_t subclass,
                        std::uint32_t timestamp, const iaxgen::Elements& elements,
                        bool retransmission) {
    iaxgen::FullHeader header{.sourceCall = fromCaller ? callerCall_ : calleeCall_,
                              .destinationCall = fromCaller ? calleeCall_ : callerCall_,
                              .retransmission = retransmission,
                              .timestamp = timestamp,
                              .frameType = type,
                              .subclass = subclass};
    if (type == IaxControl && subclass == New) {
        header.destinationCall = 0;
    }
    send(fromCaller, iaxgen::fullFrame(header, elements.bytes()));
}

void ScriptedCall::mini(bool fromCaller, std::uint32_t timestamp, const iaxgen::Bytes& payload) {
    send(fromCaller, iaxgen::miniFrame(fromCaller ? callerCall_ : calleeCall_,
                                       static_cast<std::uint16_t>(timestamp), payload));
}

void ScriptedCall::voice(bool fromCaller, std::uint32_t mask, std::uint32_t timestamp,
                         const iaxgen::Bytes& payload) {
    send(fromCaller, iaxgen::fullFrame({.sourceCall = fromCaller ? callerCall_ : calleeCall_,
                                        .destinationCall = fromCaller ? calleeCall_ : callerCall_,
                                        .timestamp = timestamp,
                                        .frameType = Voice,
                                        .subclass = static_cast<std::uint8_t>(mask)},
                                       payload));
}

void ScriptedCall::setUp(std::uint32_t mask) {
    full(
        true, IaxControl, New, 3,
        iaxgen::Elements().text(1, "200").text(2, "100").text(4, "Tone").u32(8, mask).u32(9, mask));
    wait(5000);
    full(false, IaxControl, Accept, 2, iaxgen::Elements().u32(9, mask));
    wait(5000);
    full(true, IaxControl, Ack, 2);
    wait(20000);
    full(false, Control, Ringing, 30);
    wait(20000);
    full(false, Control, Answer, 50);
    wait(1000);
    full(true, IaxControl, Ack, 50);
    wait(9000);
}

void ScriptedCall::hangUp(std::uint32_t timestamp, std::uint8_t causeCode) {
    full(true, IaxControl, Hangup, timestamp,
         iaxgen::Elements()
             .text(22, causeCode == 16 ? "Normal Clearing" : "Failure")
             .u8(42, causeCode));
    wait(5000);
    full(false, IaxControl, Ack, timestamp);
}

} // namespace scenarios
