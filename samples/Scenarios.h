#pragma once

#include "samples/IaxPacketBuilder.h"

#include <cstdint>
#include <functional>

// Packet sequences for the sample capture, the tests and the benchmarks.
// Each scenario hands its packets, with capture times, to a sink in order.
namespace scenarios {

using PacketSink = std::function<void(const iaxgen::Bytes& packet, std::int64_t microseconds)>;

// A registration and one short call between two hosts of the documentation
// ranges: REGREQ, REGAUTH, REGACK, NEW, ACCEPT, RINGING, ANSWER, voice full
// frames, mini frames, HANGUP, and the ACKs between them.
void sampleCall(const PacketSink& sink);

// `count` packets: 90 % mini frames, 5 % voice full frames and 5 % IAX
// control frames with six elements each.
void benchmarkMix(std::uint64_t count, const PacketSink& sink);

// `count` packets holding `calls` calls between two PBXes, all set up first,
// then their voice as mini frames in turn, then their hangups: for the
// call-tracking benchmark.
void manyCalls(std::uint64_t count, std::uint32_t calls, const PacketSink& sink);

// Every frame type, subclass, codec form and element kind the decoder names,
// with and without the retransmission bit, and timestamps and call numbers
// at their edges.
void allKinds(const PacketSink& sink);

} // namespace scenarios
