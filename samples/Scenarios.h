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

// `count` NEWs from as many phones' call numbers, each a call of its own
// that never goes further, with a Calling Name of 24 "a"s and a "!" (a
// backtracking regular expression's worst case): for the memory budget and
// the hostile-input tests.
void newsOnly(std::uint64_t count, const PacketSink& sink);

// One answered G.711 call whose caller's voice timestamps jump by three and
// a half hours after its second frame: five voice frames whose audio would
// last that long.
void timeJumpCall(const PacketSink& sink);

// Every frame type, subclass, codec form and element kind the decoder names,
// with and without the retransmission bit, and timestamps and call numbers
// at their edges.
void allKinds(const PacketSink& sink);

// A registration refused and a call refused whose texts (username, numbers,
// names, causes) hold terminal controls: escape sequences, a bell, a line
// break, a C1 control and a right-to-left override.
void hostileTexts(const PacketSink& sink);

// NEW frames wrong on the wire, as packet analyzers flag them malformed:
// datagrams that end within the header (4, 8 and 11 bytes), an element whose
// length runs past the datagram, numbers of the wrong size, texts holding a
// NUL, and a UDP length shorter than the datagram.
void malformedFrames(const PacketSink& sink);

} // namespace scenarios
