#pragma once

#include "samples/Scenarios.h"

// Calls made to be judged: one with known loss, late frames, round trips,
// receiver reports, DTMF and a silent callee, and calls and a registration
// that show every kind of problem. What each holds is said in
// QualityCalls.cpp, beside the packets.
namespace scenarios {

void qualityCalls(const PacketSink& sink);

} // namespace scenarios
