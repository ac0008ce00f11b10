#pragma once

#include "samples/Scenarios.h"

#include <cstdint>

// One call between two PBXes of the documentation ranges, written packet by
// packet at a clock that moves only when told: for the generated calls.
namespace scenarios {

class ScriptedCall {
public:
    ScriptedCall(const PacketSink& sink, std::int64_t startUs, std::uint16_t callerCall,
                 std::uint16_t calleeCall);

    // A datagram from one PBX to the other.
    void send(bool fromCaller, const iaxgen::Bytes& payload);
    void full(bool fromCaller, std::uint8_t type, std::uint8_t subclass, std::uint32_t timestamp,
              const iaxgen::Elements& elements = {}, bool retransmission = false);
    void mini(bool fromCaller, std::uint32_t timestamp, const iaxgen::Bytes& payload);
    // A voice full frame in the format `mask` (one below 0x80).
    void voice(bool fromCaller, std::uint32_t mask, std::uint32_t timestamp,
               const iaxgen::Bytes& payload);
    void wait(std::int64_t us) { nowUs_ += us; }
    // For packets written out of time order, to a sink that sorts them.
    void moveTo(std::int64_t us) { nowUs_ = us; }
    [[nodiscard]] std::int64_t now() const { return nowUs_; }
    [[nodiscard]] std::uint16_t callNumber(bool ofCaller) const {
        return ofCaller ? callerCall_ : calleeCall_;
    }

    // NEW (offering and asking for `mask`), ACCEPT, ACK, RINGING, ANSWER, ACK.
    void setUp(std::uint32_t mask);
    // HANGUP from the caller with its cause code, and the ACK.
    void hangUp(std::uint32_t timestamp, std::uint8_t causeCode = 16);

    static const iaxgen::Endpoint pbxA, pbxB; // the caller's and the callee's

private:
    const PacketSink& sink_;
    std::int64_t nowUs_;
    std::uint16_t callerCall_, calleeCall_;
};

} // namespace scenarios
